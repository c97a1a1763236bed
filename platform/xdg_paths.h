#ifndef VERDANPOST_PLATFORM_XDG_PATHS_H_
#define VERDANPOST_PLATFORM_XDG_PATHS_H_

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace verdanpost {

// The user's home folder: $HOME, else the password database's entry.
inline std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr) return entry->pw_dir;
  return "/";
}

// The user's base folder named by the environment variable `variable`
// (XDG_DATA_HOME, XDG_CONFIG_HOME), or the home folder's `fallback` when it
// is unset or not an absolute path, as the desktop's base-directory rules
// have it.
inline std::string XdgBaseFolder(const char* variable, const char* fallback) {
  if (const char* set = std::getenv(variable); set != nullptr && set[0] == '/') return set;
  return HomeFolder() + "/" + fallback;
}

// ${XDG_DATA_HOME:-$HOME/.local/share}
inline std::string XdgDataHome() { return XdgBaseFolder("XDG_DATA_HOME", ".local/share"); }

// ${XDG_CONFIG_HOME:-$HOME/.config}
inline std::string XdgConfigHome() { return XdgBaseFolder("XDG_CONFIG_HOME", ".config"); }

}  // namespace verdanpost

#endif  // VERDANPOST_PLATFORM_XDG_PATHS_H_
