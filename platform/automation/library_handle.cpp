#include "platform/automation/library_handle.h"

#include <dlfcn.h>

namespace verdanpost {

LibraryHandle& LibraryHandle::operator=(LibraryHandle&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

LibraryHandle LibraryHandle::Open(const std::string& path, std::string* err) {
  LibraryHandle library;
  library.handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library.handle_ == nullptr) {
    const char* why = dlerror();
    *err = why != nullptr ? why : "unknown error";
  }
  return library;
}

void LibraryHandle::Close() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

void* LibraryHandle::Symbol(const char* name) const {
  return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

}  // namespace verdanpost
