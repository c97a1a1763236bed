#include "platform/automation/classes_root.h"

#include <cstdlib>

namespace verdanpost {
namespace {

bool SingleFileRequested() {
  const char* env = std::getenv("AUTOMATION_REGISTRY");
  return env != nullptr && *env != '\0';
}

}  // namespace

std::string SystemRegistryPath() {
  if (const char* env = std::getenv("AUTOMATION_SYSTEM_REGISTRY"); env != nullptr && *env != '\0')
    return env;
  return VERDANPOST_SYSTEM_REGISTRY;
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
