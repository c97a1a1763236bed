// The library's module bookkeeping, class factory and four exports.

#include "mailer/server_module.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>

#include "mailer/ismtp_mailer.h"
#include "mailer/smtp_mailer.h"
#include "platform/automation/registry.h"

namespace verdanpost {
namespace {

std::atomic<long> g_lock_count{0};

// The type info, loaded on first use; released when the library unloads.
struct CachedTypeInfo {
  std::mutex mutex;
  ITypeInfo* info = nullptr;
  ~CachedTypeInfo() {
    if (info != nullptr) info->Release();
  }
};

CachedTypeInfo g_type_info;

constexpr char kProgId[] = "Verdanpost.SMTPMailer.1";
constexpr char kIndependentProgId[] = "Verdanpost.SMTPMailer";
constexpr char kClassName[] = "SMTPMailer Class";

// Creates SMTPMailer objects, aggregated or not. The factory is a static
// object and so never counts as a lock.
class SMTPMailerFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }

  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    try {
      return SMTPMailer::Create(outer, riid, object);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT LockServer(BOOL lock) override {
    if (lock) {
      LockModule();
    } else {
      UnlockModule();
    }
    return S_OK;
  }
};

SMTPMailerFactory g_factory;

// The full path of this library as it was loaded, found from one of its own
// symbols. Symbolic links stay as they are, so that the registry names
// libverdanpost.so rather than one versioned file behind it.
std::string OwnPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) == 0 ||
      info.dli_fname == nullptr || info.dli_fname[0] == '\0')
    return "";
  std::string path = info.dli_fname;
  if (path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof cwd) == nullptr) return "";
  if (path.starts_with("./")) path.erase(0, 2);
  return std::string(cwd) + "/" + path;
}

std::string ClassKey() { return "CLSID\\" + FormatGuid(CLSID_SMTPMailer); }

HRESULT Register() {
  std::string path = OwnPath();
  if (path.empty()) return E_FAIL;
  std::string err;
  Registry registry;
  if (!LoadDefaultRegistry(&registry, &err)) return RegistryFailure(registry, REGDB_E_READREGDB);
  std::string clsid = FormatGuid(CLSID_SMTPMailer);
  registry.SetValue(kProgId, "", kClassName);
  registry.SetValue(std::string(kProgId) + "\\CLSID", "", clsid);
  registry.SetValue(kIndependentProgId, "", kClassName);
  registry.SetValue(std::string(kIndependentProgId) + "\\CurVer", "", kProgId);
  registry.CreateKey("CLSID");
  std::string key = ClassKey();
  registry.DeleteKey(key);
  registry.SetValue(key, "", kClassName);
  registry.SetValue(key + "\\ProgID", "", kProgId);
  registry.SetValue(key + "\\VersionIndependentProgID", "", kIndependentProgId);
  registry.CreateKey(key + "\\Programmable");
  registry.SetValue(key + "\\InprocServer32", "", path);
  registry.SetValue(key + "\\InprocServer32", "ThreadingModel", "Apartment");
  if (!SaveDefaultRegistry(registry, &err)) return RegistryFailure(registry, REGDB_E_WRITEREGDB);
  return RegisterTypeLib(MailerTypeLibrary(), path, &err);
}

// Removes what Register() wrote, the type library's keys included, and
// reports a registry it cannot change as Register() does.
HRESULT Unregister() {
  std::string err;
  Registry registry;
  if (!LoadDefaultRegistry(&registry, &err)) return RegistryFailure(registry, REGDB_E_READREGDB);
  registry.DeleteKey(kProgId);
  registry.DeleteKey(kIndependentProgId);
  registry.DeleteKey(ClassKey());
  registry.DeleteEmptyParents(ClassKey());
  if (!SaveDefaultRegistry(registry, &err)) return RegistryFailure(registry, REGDB_E_WRITEREGDB);
  return UnRegisterTypeLib(MailerTypeLibrary(), &err);
}

}  // namespace

void LockModule() { ++g_lock_count; }
void UnlockModule() { --g_lock_count; }
long ModuleLockCount() { return g_lock_count.load(); }

HRESULT GetMailerTypeInfo(ITypeInfo** type_info) {
  if (type_info == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> lock(g_type_info.mutex);
  if (g_type_info.info == nullptr) {
    std::string err;
    HRESULT hr = LoadRegTypeLib(LIBID_VERDANPOSTLib, kMailerTypeLibraryMajor,
                                kMailerTypeLibraryMinor, &g_type_info.info, &err);
    if (Failed(hr)) {
      *type_info = nullptr;
      return hr;
    }
  }
  g_type_info.info->AddRef();
  *type_info = g_type_info.info;
  return S_OK;
}

}  // namespace verdanpost

using verdanpost::HRESULT;

extern "C" {

HRESULT DllGetClassObject(verdanpost::REFCLSID clsid, verdanpost::REFIID riid, void** object) {
  if (object == nullptr) return verdanpost::E_POINTER;
  *object = nullptr;
  if (clsid != verdanpost::CLSID_SMTPMailer) return verdanpost::CLASS_E_CLASSNOTAVAILABLE;
  return verdanpost::g_factory.QueryInterface(riid, object);
}

HRESULT DllCanUnloadNow() {
  return verdanpost::ModuleLockCount() == 0 ? verdanpost::S_OK : verdanpost::S_FALSE;
}

HRESULT DllRegisterServer() {
  try {
    return verdanpost::Register();
  } catch (...) {
    return verdanpost::E_FAIL;
  }
}

HRESULT DllUnregisterServer() {
  try {
    return verdanpost::Unregister();
  } catch (...) {
    return verdanpost::E_FAIL;
  }
}
}
