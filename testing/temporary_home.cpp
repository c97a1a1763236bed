// Linked into every test program: before main() runs, the program gets a
// home of its own in a fresh temporary folder, so that nothing a test does
// (Qt's file dialog remembering its last folder, a settings file, a cache)
// lands in the files of the user who runs the tests. CTest runs each test in
// a program of its own, so every test starts from an empty home. The folder
// is removed when the program ends.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

class TemporaryHome {
 public:
  TemporaryHome() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "verdanpost-test-home.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      // Running in the real home could overwrite the user's own files.
      std::fprintf(stderr, "cannot make a temporary home for the tests in %s\n", pattern.c_str());
      std::exit(1);
    }
    home_ = pattern;
    const auto use = [this](const char* variable, const char* folder) {
      const std::filesystem::path path = home_ / folder;
      std::error_code ignored;
      std::filesystem::create_directories(path, ignored);
      setenv(variable, path.c_str(), 1);
    };
    setenv("HOME", home_.c_str(), 1);
    use("XDG_CONFIG_HOME", ".config");
    use("XDG_DATA_HOME", ".local/share");
    use("XDG_STATE_HOME", ".local/state");
    use("XDG_CACHE_HOME", ".cache");
  }
  TemporaryHome(const TemporaryHome&) = delete;
  TemporaryHome& operator=(const TemporaryHome&) = delete;
  ~TemporaryHome() {
    std::error_code ignored;
    std::filesystem::remove_all(home_, ignored);
  }

 private:
  std::filesystem::path home_;
};

const TemporaryHome temporary_home;

}  // namespace
