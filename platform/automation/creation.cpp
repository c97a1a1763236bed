#include "platform/automation/creation.h"

#include <map>
#include <mutex>

#include "platform/automation/classes_root.h"
#include "platform/automation/library_handle.h"

namespace verdanpost {
namespace {

// The server libraries this process has loaded, by path.
struct LibraryCache {
  std::mutex mutex;
  std::map<std::string, LibraryHandle> libraries;
};

LibraryCache& Cache() {
  static LibraryCache* cache = new LibraryCache;  // outlives every static destructor
  return *cache;
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
      std::string why;
      LibraryHandle library = LibraryHandle::Open(*path, &why);
      if (!library.is_open()) {
        *err = "cannot load server library " + *path + ": " + why;
        return CO_E_DLLNOTFOUND;
      }
      it = cache.libraries.emplace(*path, std::move(library)).first;
    }
    get_class_object = it->second.Function<DllGetClassObjectFn>("DllGetClassObject");
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
    auto can_unload = it->second.Function<DllCanUnloadNowFn>("DllCanUnloadNow");
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
