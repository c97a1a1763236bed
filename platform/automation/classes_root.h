#ifndef VERDANPOST_PLATFORM_AUTOMATION_CLASSES_ROOT_H_
#define VERDANPOST_PLATFORM_AUTOMATION_CLASSES_ROOT_H_

#include <optional>
#include <string>
#include <string_view>

#include "platform/automation/registry.h"

namespace verdanpost {

// The classes root that lookups read: the user's registry over the
// system-wide one. A value comes from the user's file when it is there,
// else from the system's, so a user's own registration shadows the
// machine's. With AUTOMATION_REGISTRY set, that one file is the whole
// classes root. Registration writes only one file (Registry::DefaultPath()).
class ClassesRoot {
 public:
  // Reads both files; a missing file is empty, a damaged one gives false
  // and "PATH:LINE: what is wrong" in *err.
  bool Load(std::string* err);

  std::optional<std::string> GetValue(std::string_view path, std::string_view name = {}) const;

 private:
  Registry user_;
  Registry system_;
};

// The system-wide registry file: $AUTOMATION_SYSTEM_REGISTRY when set, else
// the one fixed at build time, verdanpost/classes-root.reg under the
// installation's configuration directory (/etc for a /usr installation,
// PREFIX/etc otherwise).
std::string SystemRegistryPath();

}  // namespace verdanpost

#endif  // VERDANPOST_PLATFORM_AUTOMATION_CLASSES_ROOT_H_
