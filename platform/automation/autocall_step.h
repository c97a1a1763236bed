#ifndef VERDANPOST_PLATFORM_AUTOMATION_AUTOCALL_STEP_H_
#define VERDANPOST_PLATFORM_AUTOMATION_AUTOCALL_STEP_H_

#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/variant.h"

namespace verdanpost {

// One command-line step of autocall:
//   NAME=VALUE      put (VALUE: 32-bit integer, true/false, "quoted" or any
//                   other text as a string)
//   NAME            get, or call without arguments
//   NAME(ARG, ...)  call; ARG is "quoted" (escapes \" \\ \r \n \t), an
//                   integer or true/false
struct AutocallStep {
  enum class Kind { kPut, kGet, kCall };
  Kind kind = Kind::kGet;
  std::string name;
  std::vector<Variant> args;  // the put's value, or the call's arguments
};

// false with a message in *err when `text` is not a step.
bool ParseAutocallStep(std::string_view text, AutocallStep* step, std::string* err);

}  // namespace verdanpost

#endif  // VERDANPOST_PLATFORM_AUTOMATION_AUTOCALL_STEP_H_
