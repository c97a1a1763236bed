// autoreg [-u] LIBRARY: registers (or with -u unregisters) an in-process
// server by calling its DllRegisterServer (DllUnregisterServer).

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/automation/com.h"
#include "platform/automation/library_handle.h"
#include "platform/automation/registry.h"

namespace verdanpost {
namespace {

int Run(int argc, char** argv) {
  bool unregister = argc == 3 && std::strcmp(argv[1], "-u") == 0;
  if (argc != 2 + (unregister ? 1 : 0) || argv[argc - 1][0] == '-') {
    std::fprintf(stderr, "usage: autoreg [-u] LIBRARY\n");
    return 2;
  }
  const char* path = argv[argc - 1];
  // The server only answers with a status; check the registry here so that
  // a damaged file is reported with its line.
  Registry registry;
  std::string err;
  if (!registry.Load(Registry::DefaultPath(), &err)) {
    std::fprintf(stderr, "autoreg: %s\n", err.c_str());
    return 1;
  }
  // A relative name would be searched for on the library path; make it a
  // path so that the file named on the command line is the one loaded.
  std::string library = std::strchr(path, '/') != nullptr ? path : std::string("./") + path;
  LibraryHandle handle = LibraryHandle::Open(library, &err);
  if (!handle.is_open()) {
    std::fprintf(stderr, "autoreg: cannot load %s: %s\n", path, err.c_str());
    return 1;
  }
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  auto fn = handle.Function<DllRegisterServerFn>(entry);
  int status = 0;
  if (fn == nullptr) {
    std::fprintf(stderr, "autoreg: %s does not export %s\n", path, entry);
    status = 1;
  } else if (HRESULT hr = fn(); Failed(hr)) {
    std::fprintf(stderr, "autoreg: %s of %s failed: %s\n", entry, path,
                 DescribeHResult(hr).c_str());
    status = 1;
  }
  return status;
}

}  // namespace
}  // namespace verdanpost

int main(int argc, char** argv) { return verdanpost::Run(argc, argv); }
