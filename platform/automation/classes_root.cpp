#include "platform/automation/classes_root.h"

#include <cstdlib>

namespace verdanpost {
namespace {

// The built-in path, kept whole in the binary: built from the literal alone,
// the compiler may store it in pieces, and then neither `strings` nor the
// package check finds which file an installed program reads.
[[gnu::used]] constexpr char kBuiltInSystemRegistry[] = VERDANPOST_SYSTEM_REGISTRY;

bool SingleFileRequested() {
  const char* env = std::getenv("AUTOMATION_REGISTRY");
  return env != nullptr && *env != '\0';
}

}  // namespace

std::string SystemRegistryPath() {
  if (const char* env = std::getenv("AUTOMATION_SYSTEM_REGISTRY"); env != nullptr && *env != '\0')
    return env;
  return kBuiltInSystemRegistry;
}

bool ClassesRoot::Load(std::string* err) {
  if (!user_.Load(Registry::DefaultPath(), err)) return false;
  if (SingleFileRequested()) {
    system_ = Registry();
    return true;
  }
  return system_.Load(SystemRegistryPath(), err);
}

std::optional<std::string> ClassesRoot::GetValue(std::string_view path,
                                                 std::string_view name) const {
  if (std::optional<std::string> value = user_.GetValue(path, name)) return value;
  return system_.GetValue(path, name);
}

}  // namespace verdanpost
