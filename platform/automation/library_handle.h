#ifndef VERDANPOST_PLATFORM_AUTOMATION_LIBRARY_HANDLE_H_
#define VERDANPOST_PLATFORM_AUTOMATION_LIBRARY_HANDLE_H_

#include <string>

namespace verdanpost {

// Owns one handle of a loaded shared library and closes it when it goes, so
// that every early return leaves the library as it found it. Move-only.
class LibraryHandle {
 public:
  LibraryHandle() = default;
  LibraryHandle(const LibraryHandle&) = delete;
  LibraryHandle& operator=(const LibraryHandle&) = delete;
  LibraryHandle(LibraryHandle&& other) noexcept : handle_(other.handle_) {
    other.handle_ = nullptr;
  }
  LibraryHandle& operator=(LibraryHandle&& other) noexcept;
  ~LibraryHandle() { Close(); }

  // Loads `path` with every symbol bound now and kept local to the library.
  // When it cannot, the handle is empty and *err holds the loader's reason.
  static LibraryHandle Open(const std::string& path, std::string* err);

  bool is_open() const { return handle_ != nullptr; }

  // The address of the exported function `name` as a `Fn`, or null.
  template <typename Fn>
  Fn Function(const char* name) const {
    return reinterpret_cast<Fn>(Symbol(name));
  }

  void Close();

 private:
  void* Symbol(const char* name) const;

  void* handle_ = nullptr;  // null when nothing is loaded
};

}  // namespace verdanpost

#endif  // VERDANPOST_PLATFORM_AUTOMATION_LIBRARY_HANDLE_H_
