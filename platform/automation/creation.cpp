#include "platform/automation/creation.h"

#include <dlfcn.h>

#include <map>
#include <memory>
#include <mutex>

#include "platform/automation/classes_root.h"

namespace verdanpost {
namespace {

// Owns one dlopen handle.
class LibraryHandle {
 public:
  explicit LibraryHandle(void* handle) : handle_(handle) {}
  LibraryHandle(const LibraryHandle&) = delete;
  LibraryHandle& operator=(const LibraryHandle&) = delete;
  ~LibraryHandle() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  void* Symbol(const char* name) const { return dlsym(handle_, name); }

 private:
  void* handle_;
};

// The server libraries this process has loaded, by path.
struct LibraryCache {
  std::mutex mutex;
  std::map<std::string, std::unique_ptr<LibraryHandle>> libraries;
};

LibraryCache& Cache() {
  static LibraryCache* cache = new LibraryCache;  // outlives every static destructor
  return *cache;
}

std::string DlError() {
  const char* text = dlerror();
  return text != nullptr ? text : "unknown error";
}

}  // namespace

HRESULT CLSIDFromProgID(const std::string& progid, CLSID* clsid, std::string* err) {
  ClassesRoot registry;
  if (!registry.Load(err)) return REGDB_E_READREGDB;
  std::optional<std::string> text = registry.GetValue(progid + "\\CLSID");
  if (!text) {
    if (std::optional<std::string> current = registry.GetValue(progid + "\\CurVer"))
      text = registry.GetValue(*current + "\\CLSID");
  }
  if (!text) {
    *err = "ProgID " + progid + " is not registered";
    return CO_E_CLASSSTRING;
  }
  std::optional<GUID> parsed = ParseGuid(*text);
  if (!parsed) {
    *err = "ProgID " + progid + " names a malformed class identifier " + *text;
    return CO_E_CLASSSTRING;
  }
  *clsid = *parsed;
  return S_OK;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, REFIID riid, void** object,
                         std::string* err) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  ClassesRoot registry;
  if (!registry.Load(err)) return REGDB_E_READREGDB;
  std::string id = FormatGuid(clsid);
  std::optional<std::string> path = registry.GetValue("CLSID\\" + id + "\\InprocServer32");
  if (!path || path->empty()) {
    *err = "class " + id + " is not registered";
    return REGDB_E_CLASSNOTREG;
  }

  DllGetClassObjectFn get_class_object = nullptr;
  {
    LibraryCache& cache = Cache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    auto it = cache.libraries.find(*path);
    if (it == cache.libraries.end()) {
      void* handle = dlopen(path->c_str(), RTLD_NOW | RTLD_LOCAL);
      if (handle == nullptr) {
        *err = "cannot load server library " + *path + ": " + DlError();
        return CO_E_DLLNOTFOUND;
      }
      it = cache.libraries.emplace(*path, std::make_unique<LibraryHandle>(handle)).first;
    }
    get_class_object =
        reinterpret_cast<DllGetClassObjectFn>(it->second->Symbol("DllGetClassObject"));
    if (get_class_object == nullptr) {
      *err = "server library " + *path + " does not export DllGetClassObject";
      cache.libraries.erase(it);
      return CO_E_ERRORINDLL;
    }
  }

  IClassFactory* factory = nullptr;
  HRESULT hr = get_class_object(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (Failed(hr) || factory == nullptr) {
    *err =
        "server library " + *path + " has no class factory for " + id + ": " + DescribeHResult(hr);
    return Failed(hr) ? hr : E_UNEXPECTED;
  }
  hr = factory->CreateInstance(outer, riid, object);
  factory->Release();
  if (Failed(hr)) *err = "cannot create an object of class " + id + ": " + DescribeHResult(hr);
  return hr;
}

void FreeUnusedLibraries() {
  LibraryCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  for (auto it = cache.libraries.begin(); it != cache.libraries.end();) {
    auto can_unload = reinterpret_cast<DllCanUnloadNowFn>(it->second->Symbol("DllCanUnloadNow"));
    if (can_unload != nullptr && can_unload() == S_OK) {
      it = cache.libraries.erase(it);
    } else {
      ++it;
    }
  }
}

size_t LoadedServerLibraryCount() {
  LibraryCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  return cache.libraries.size();
}

}  // namespace verdanpost
