#ifndef VERDANPOST_PLATFORM_AUTOMATION_REGISTRY_H_
#define VERDANPOST_PLATFORM_AUTOMATION_REGISTRY_H_

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/automation/hresult.h"

namespace verdanpost {

// An exclusive flock() on PATH.lock beside a registry file (beside the file a
// symbolic link points to), held until Release() or destruction. flock()
// excludes every other open of the lock file, in this process too, so one
// thread must not take it twice.
class RegistryLock {
 public:
  RegistryLock() = default;
  RegistryLock(RegistryLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  RegistryLock& operator=(RegistryLock&& other) noexcept;
  RegistryLock(const RegistryLock&) = delete;
  RegistryLock& operator=(const RegistryLock&) = delete;
  ~RegistryLock() { Release(); }

  // Waits for the lock, creating the directory and the lock file if needed.
  bool Acquire(const std::string& registry_path, std::string* err);
  void Release();

 private:
  int fd_ = -1;  // the open lock file, -1 when not held
};

// The classes-root registry: keys named by backslash-separated paths
// (compared without regard to ASCII case), each with a default value and
// named string values. It lives in one text file:
//
//   [Verdanpost.SMTPMailer.1\CLSID]
//   @="{...}"
//   "ThreadingModel"="Apartment"
//
// Strings escape \" \\ and line breaks; ';' starts a comment line, and a
// UTF-8 byte-order mark may open the file. Load and then Save(); Save
// replaces the file atomically. A registry is moved, not copied, since it
// may hold the lock of the file it was loaded for update from.
class Registry {
 public:
  Registry() = default;
  Registry(Registry&&) = default;
  Registry& operator=(Registry&&) = default;

  // $AUTOMATION_REGISTRY, else ${XDG_DATA_HOME:-$HOME/.local/share}/
  // verdanpost/classes-root.reg.
  static std::string DefaultPath();

  // Reads `path`; a missing file is an empty registry. A damaged file gives
  // false and "PATH:LINE: what is wrong" in *err.
  bool Load(const std::string& path, std::string* err);
  // Load() for a load-modify-save: first takes the exclusive lock beside
  // `path` (see RegistryLock), which this registry holds until its next
  // Save() or its end, so that writers in other processes and threads wait
  // instead of overwriting each other's keys.
  bool LoadForUpdate(const std::string& path, std::string* err);
  // Reads the file's text; `origin` names it in error messages.
  bool Parse(std::string_view text, const std::string& origin, std::string* err);
  // Writes to a temporary file beside `path` and renames it over `path`,
  // creating the directory if needed. When `path` is a symbolic link, the
  // file it points to is replaced and the link stays. Releases the lock
  // taken by LoadForUpdate(), whether or not the save succeeded.
  bool Save(const std::string& path, std::string* err) const;

  // Creates the key and every missing parent.
  void CreateKey(std::string_view path);
  bool KeyExists(std::string_view path) const;
  // Sets a value, creating the key; an empty `name` is the default value.
  void SetValue(std::string_view path, std::string_view name, std::string_view value);
  std::optional<std::string> GetValue(std::string_view path, std::string_view name = {}) const;
  // Deletes the key with all its subkeys; false if it did not exist.
  bool DeleteKey(std::string_view path);
  // Deletes each parent of `path`, nearest first, as long as it holds no
  // value and no other key, so that what a registration created and its
  // removal deleted leaves no empty key behind.
  void DeleteEmptyParents(std::string_view path);

  // The system's error number (errno) behind the last failed Load(),
  // LoadForUpdate() or Save(); 0 when the failure was not the system's (a
  // damaged file) or nothing failed.
  int error_number() const { return error_number_; }

  std::string Serialize() const;

 private:
  struct CaseInsensitiveLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  using Values = std::map<std::string, std::string, CaseInsensitiveLess>;

  static std::string Normalize(std::string_view path);
  bool HasSubkeys(const std::string& key) const;

  std::map<std::string, Values, CaseInsensitiveLess> keys_;
  // Not part of the contents: Save() is const, yet ends the update.
  mutable RegistryLock lock_;
  mutable int error_number_ = 0;
};

// Load-modify-save of the registry at Registry::DefaultPath(); the load is
// LoadForUpdate(), so the file stays locked until the save.
bool LoadDefaultRegistry(Registry* registry, std::string* err);
bool SaveDefaultRegistry(const Registry& registry, std::string* err);

// What a server's registration returns when `registry` failed to load or
// save: the system's reason (HResultFromErrno) when there is one, else
// `otherwise` (REGDB_E_READREGDB or REGDB_E_WRITEREGDB).
HRESULT RegistryFailure(const Registry& registry, HRESULT otherwise);

}  // namespace verdanpost

#endif  // VERDANPOST_PLATFORM_AUTOMATION_REGISTRY_H_
