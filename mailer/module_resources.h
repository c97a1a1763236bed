#ifndef VERDANPOST_MAILER_MODULE_RESOURCES_H_
#define VERDANPOST_MAILER_MODULE_RESOURCES_H_

#include <cstdint>

#include "mailer/export.h"

// The library's version block and string table, exposed as data.
extern "C" {

struct VerdanpostVersionInfo {
  const char* file_version;       // the project's version: "1, 0, 0, 1"
  const char* product_version;    // the same
  const char* file_description;   // "Verdanpost Module"
  const char* product_name;       // "Verdanpost Module"
  const char* ole_self_register;  // "": the library registers itself
};

VERDANPOST_EXPORT const VerdanpostVersionInfo* VerdanpostGetVersionInfo();

// The string resource `id`, or null when there is none (only 100 exists).
VERDANPOST_EXPORT const char* VerdanpostLoadString(uint32_t id);
}

#endif  // VERDANPOST_MAILER_MODULE_RESOURCES_H_
