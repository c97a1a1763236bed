#ifndef VERDANPOST_PLATFORM_AUTOMATION_REGISTRY_H_
#define VERDANPOST_PLATFORM_AUTOMATION_REGISTRY_H_

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace verdanpost {

// The classes-root registry: keys named by backslash-separated paths
// (compared without regard to ASCII case), each with a default value and
// named string values. It lives in one text file:
//
//   [Verdanpost.SMTPMailer.1\CLSID]
//   @="{...}"
//   "ThreadingModel"="Apartment"
//
// Strings escape \" \\ and line breaks; ';' starts a comment line. Load and
// then Save(); Save replaces the file atomically.
class Registry {
 public:
  // $AUTOMATION_REGISTRY, else ${XDG_DATA_HOME:-$HOME/.local/share}/
  // verdanpost/classes-root.reg.
  static std::string DefaultPath();

  // Reads `path`; a missing file is an empty registry. A damaged file gives
  // false and "PATH:LINE: what is wrong" in *err.
  bool Load(const std::string& path, std::string* err);
  // Writes to a temporary file beside `path` and renames it over `path`,
  // creating the directory if needed.
  bool Save(const std::string& path, std::string* err) const;

  // Creates the key and every missing parent.
  void CreateKey(std::string_view path);
  bool KeyExists(std::string_view path) const;
  // Sets a value, creating the key; an empty `name` is the default value.
  void SetValue(std::string_view path, std::string_view name, std::string_view value);
  std::optional<std::string> GetValue(std::string_view path, std::string_view name = {}) const;
  // Deletes the key with all its subkeys; false if it did not exist.
  bool DeleteKey(std::string_view path);

  std::string Serialize() const;

 private:
  struct CaseInsensitiveLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  using Values = std::map<std::string, std::string, CaseInsensitiveLess>;

  static std::string Normalize(std::string_view path);

  std::map<std::string, Values, CaseInsensitiveLess> keys_;
};

// Load-modify-save of the registry at Registry::DefaultPath().
bool LoadDefaultRegistry(Registry* registry, std::string* err);
bool SaveDefaultRegistry(const Registry& registry, std::string* err);

}  // namespace verdanpost

#endif  // VERDANPOST_PLATFORM_AUTOMATION_REGISTRY_H_
