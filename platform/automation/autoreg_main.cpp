// autoreg [-u] [--system] LIBRARY: registers (or with -u unregisters) an
// in-process server by calling its DllRegisterServer (DllUnregisterServer).
// --system writes the system-wide registry instead of the user's.

#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/automation/classes_root.h"
#include "platform/automation/com.h"
#include "platform/automation/library_handle.h"
#include "platform/automation/registry.h"
#include "platform/command_line/standard_options.h"

namespace verdanpost {
namespace {

constexpr char kHelp[] =
    "Usage: autoreg [-u] [--system] LIBRARY\n"
    "Registers the in-process automation server LIBRARY (a shared library such as\n"
    "libverdanpost.so) in the user's classes-root registry, so that programs\n"
    "create its classes by ProgID.\n"
    "\n"
    "  -u         remove the registration instead\n"
    "  --system   write the system-wide registry instead of the user's (as root)\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "AUTOMATION_REGISTRY names another registry file to use alone;\n"
    "AUTOMATION_SYSTEM_REGISTRY names another system-wide one. See autoreg(1).\n";

int Run(int argc, char** argv) {
  if (AnswerHelpOrVersion(argc, argv, "autoreg", kHelp)) return 0;
  bool unregister = false;
  bool system = false;
  int arg = 1;
  for (; arg < argc && argv[arg][0] == '-'; ++arg) {
    if (std::strcmp(argv[arg], "-u") == 0) {
      unregister = true;
    } else if (std::strcmp(argv[arg], "--system") == 0) {
      system = true;
    } else {
      break;
    }
  }
  if (arg != argc - 1 || argv[arg][0] == '-') {
    std::fprintf(stderr, "usage: autoreg [-u] [--system] LIBRARY\n");
    return 2;
  }
  const char* path = argv[arg];
  // The server writes the one file that AUTOMATION_REGISTRY names, so the
  // system-wide registration is the user's registration pointed elsewhere.
  if (system && setenv("AUTOMATION_REGISTRY", SystemRegistryPath().c_str(), 1) != 0) {
    std::perror("autoreg: setenv");
    return 1;
  }
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
