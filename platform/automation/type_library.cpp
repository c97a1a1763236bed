#include "platform/automation/type_library.h"

#include <atomic>
#include <new>

#include "platform/ascii.h"
#include "platform/automation/classes_root.h"
#include "platform/automation/library_handle.h"
#include "platform/automation/registry.h"

namespace verdanpost {
namespace {

constexpr int kMaxMethodParams = 8;

std::string VersionKey(uint16_t major, uint16_t minor) {
  return std::to_string(major) + "." + std::to_string(minor);
}

struct Member {
  DISPID dispid;
  int kind;
  std::string name;
  int slot;
  std::vector<std::string> param_names;
  std::vector<VARTYPE> param_types;
};

// Calls vtable slot `slot` of `instance` with the converted arguments. The
// slots of a dual interface are ordinary member functions, which take the
// object as their first argument.
template <typename... Args>
HRESULT CallSlot(void* instance, int slot, Args... args) {
  void** vtable = *static_cast<void***>(instance);
  auto fn = reinterpret_cast<HRESULT (*)(void*, Args...)>(vtable[slot]);
  return fn(instance, args...);
}

HRESULT CallMethod(void* instance, int slot, BSTR* a, size_t n) {
  switch (n) {
    case 0:
      return CallSlot(instance, slot);
    case 1:
      return CallSlot(instance, slot, a[0]);
    case 2:
      return CallSlot(instance, slot, a[0], a[1]);
    case 3:
      return CallSlot(instance, slot, a[0], a[1], a[2]);
    case 4:
      return CallSlot(instance, slot, a[0], a[1], a[2], a[3]);
    case 5:
      return CallSlot(instance, slot, a[0], a[1], a[2], a[3], a[4]);
    case 6:
      return CallSlot(instance, slot, a[0], a[1], a[2], a[3], a[4], a[5]);
    case 7:
      return CallSlot(instance, slot, a[0], a[1], a[2], a[3], a[4], a[5], a[6]);
    case 8:
      return CallSlot(instance, slot, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
    default:
      return DISP_E_BADPARAMCOUNT;
  }
}

class TypeInfo final : public ITypeInfo {
 public:
  explicit TypeInfo(std::vector<Member> members) : members_(std::move(members)) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (riid != IID_IUnknown && riid != IID_ITypeInfo) return E_NOINTERFACE;
    *object = static_cast<ITypeInfo*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* dispids) override;
  HRESULT Invoke(void* instance, DISPID dispid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepinfo, UINT* arg_err) override;

 private:
  ~TypeInfo() = default;

  const Member* Find(DISPID dispid, int kind) const {
    for (const Member& m : members_)
      if (m.dispid == dispid && m.kind == kind) return &m;
    return nullptr;
  }

  std::atomic<ULONG> refs_{1};
  std::vector<Member> members_;
};

HRESULT TypeInfo::GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* dispids) {
  if (count == 0) return S_OK;
  if (names == nullptr || dispids == nullptr || names[0] == nullptr) return E_POINTER;
  std::string name = Utf16ToUtf8(names[0]);
  const Member* found = nullptr;
  for (const Member& m : members_) {
    if (EqualsIgnoreAsciiCase(m.name, name)) {
      // A method's parameter names are the ones a caller can ask for.
      if (found == nullptr || m.kind == kAutomationMethod) found = &m;
    }
  }
  for (UINT i = 0; i < count; ++i) dispids[i] = DISPID_UNKNOWN;
  if (found == nullptr) return DISP_E_UNKNOWNNAME;
  dispids[0] = found->dispid;
  HRESULT hr = S_OK;
  for (UINT i = 1; i < count; ++i) {
    std::string param = names[i] != nullptr ? Utf16ToUtf8(names[i]) : "";
    for (size_t p = 0; p < found->param_names.size(); ++p)
      if (EqualsIgnoreAsciiCase(found->param_names[p], param)) dispids[i] = static_cast<DISPID>(p);
    if (dispids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT TypeInfo::Invoke(void* instance, DISPID dispid, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* /*excepinfo*/, UINT* arg_err) {
  if (instance == nullptr) return E_POINTER;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (params == nullptr) params = &none;
  if (params->cArgs > 0 && params->rgvarg == nullptr) return E_INVALIDARG;

  const Member* member = nullptr;
  if (flags & DISPATCH_PROPERTYPUT) {
    member = Find(dispid, kAutomationPropertyPut);
  } else {
    if (flags & DISPATCH_PROPERTYGET) member = Find(dispid, kAutomationPropertyGet);
    if (member == nullptr && (flags & DISPATCH_METHOD)) member = Find(dispid, kAutomationMethod);
  }
  if (member == nullptr) return DISP_E_MEMBERNOTFOUND;

  if (member->kind == kAutomationPropertyPut) {
    if (params->cNamedArgs > 1 ||
        (params->cNamedArgs == 1 && (params->rgdispidNamedArgs == nullptr ||
                                     params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)))
      return DISP_E_PARAMNOTFOUND;
  } else if (params->cNamedArgs != 0) {
    return DISP_E_PARAMNOTFOUND;
  }

  size_t wanted = member->kind == kAutomationMethod ? member->param_types.size() : 0;
  if (member->kind == kAutomationPropertyPut) wanted = 1;
  if (params->cArgs != wanted) return DISP_E_BADPARAMCOUNT;

  // Coerce every argument first, so that a mismatch calls nothing. An
  // argument that has the parameter's type already is passed as the caller
  // holds it: the member only borrows it for the call, and a long text is
  // not copied.
  std::vector<Variant> converted(wanted);
  std::vector<const VARIANT*> args(wanted);
  for (size_t i = 0; i < wanted; ++i) {
    UINT index = params->cArgs - 1 - static_cast<UINT>(i);  // arguments arrive reversed
    const VARIANT& given = params->rgvarg[index];
    if (given.vt == member->param_types[i]) {
      args[i] = &given;
      continue;
    }
    HRESULT hr = VariantChangeType(converted[i].Receive(), &given, 0, member->param_types[i]);
    if (Failed(hr)) {
      if (arg_err != nullptr) *arg_err = index;
      return hr == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
    }
    args[i] = &converted[i].get();
  }

  switch (member->kind) {
    case kAutomationMethod: {
      BSTR bstrs[kMaxMethodParams] = {};
      for (size_t i = 0; i < wanted; ++i) bstrs[i] = args[i]->bstrVal;
      if (result != nullptr) VariantInit(result);
      return CallMethod(instance, member->slot, bstrs, wanted);
    }
    case kAutomationPropertyPut:
      if (member->param_types[0] == VT_I4) return CallSlot(instance, member->slot, args[0]->lVal);
      return CallSlot(instance, member->slot, args[0]->bstrVal);
    case kAutomationPropertyGet: {
      VARIANT value;
      VariantInit(&value);
      HRESULT hr;
      if (member->param_types[0] == VT_I4) {
        int32_t number = 0;
        hr = CallSlot(instance, member->slot, &number);
        value.vt = VT_I4;
        value.lVal = number;
      } else {
        BSTR text = nullptr;
        hr = CallSlot(instance, member->slot, &text);
        value.vt = VT_BSTR;
        value.bstrVal = text;
      }
      if (Failed(hr)) {
        VariantClear(&value);
        return hr;
      }
      if (result != nullptr) {
        VariantClear(result);
        *result = value;
      } else {
        VariantClear(&value);
      }
      return hr;
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace

HRESULT CreateTypeInfo(const AutomationTypeLibraryDesc& desc, ITypeInfo** type_info) {
  if (type_info == nullptr) return E_POINTER;
  *type_info = nullptr;
  std::vector<Member> members;
  for (int32_t i = 0; i < desc.member_count; ++i) {
    const AutomationMemberDesc& d = desc.members[i];
    if (d.name == nullptr || d.slot < 7 || d.param_count < 0 ||
        (d.param_count > 0 && d.params == nullptr))
      return E_INVALIDARG;
    Member m{d.dispid, d.kind, d.name, d.slot, {}, {}};
    for (int32_t p = 0; p < d.param_count; ++p) {
      m.param_names.emplace_back(d.params[p].name != nullptr ? d.params[p].name : "");
      m.param_types.push_back(d.params[p].type);
    }
    bool valid = false;
    switch (d.kind) {
      case kAutomationMethod:
        valid = d.param_count <= kMaxMethodParams;
        for (VARTYPE t : m.param_types) valid = valid && t == VT_BSTR;
        break;
      case kAutomationPropertyGet:
      case kAutomationPropertyPut:
        valid = d.param_count == 1 && (m.param_types[0] == VT_I4 || m.param_types[0] == VT_BSTR);
        break;
      default:
        break;
    }
    if (!valid) return E_INVALIDARG;
    members.push_back(std::move(m));
  }
  *type_info = new (std::nothrow) TypeInfo(std::move(members));
  return *type_info != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT RegisterTypeLib(const AutomationTypeLibraryDesc& desc, const std::string& library_path,
                        std::string* err) {
  Registry registry;
  if (!LoadDefaultRegistry(&registry, err)) return RegistryFailure(registry, REGDB_E_READREGDB);
  std::string lib_key =
      std::string("TypeLib\\") + desc.libid + "\\" + VersionKey(desc.major, desc.minor);
  registry.SetValue(lib_key, "", desc.help != nullptr ? desc.help : "");
  registry.SetValue(lib_key + "\\0\\linux64", "", library_path);
  registry.SetValue(lib_key + "\\FLAGS", "", "0");
  size_t slash = library_path.find_last_of('/');
  registry.SetValue(lib_key + "\\HELPDIR", "",
                    slash == std::string::npos ? "" : library_path.substr(0, slash));
  std::string if_key = std::string("Interface\\") + desc.iid;
  registry.SetValue(if_key, "", desc.interface_name);
  registry.SetValue(if_key + "\\TypeLib", "", desc.libid);
  registry.SetValue(if_key + "\\TypeLib", "Version", VersionKey(desc.major, desc.minor));
  if (!SaveDefaultRegistry(registry, err)) return RegistryFailure(registry, REGDB_E_WRITEREGDB);
  return S_OK;
}

HRESULT UnRegisterTypeLib(const AutomationTypeLibraryDesc& desc, std::string* err) {
  Registry registry;
  if (!LoadDefaultRegistry(&registry, err)) return RegistryFailure(registry, REGDB_E_READREGDB);
  const std::string lib_key =
      std::string("TypeLib\\") + desc.libid + "\\" + VersionKey(desc.major, desc.minor);
  const std::string if_key = std::string("Interface\\") + desc.iid;
  registry.DeleteKey(lib_key);
  registry.DeleteKey(if_key);
  // Another version of the library, or another interface, keeps its parent.
  registry.DeleteEmptyParents(lib_key);
  registry.DeleteEmptyParents(if_key);
  if (!SaveDefaultRegistry(registry, err)) return RegistryFailure(registry, REGDB_E_WRITEREGDB);
  return S_OK;
}

HRESULT LoadRegTypeLib(const GUID& libid, uint16_t major, uint16_t minor, ITypeInfo** type_info,
                       std::string* err) {
  if (type_info == nullptr) return E_POINTER;
  *type_info = nullptr;
  ClassesRoot registry;
  if (!registry.Load(err)) return REGDB_E_READREGDB;
  std::string key =
      "TypeLib\\" + FormatGuid(libid) + "\\" + VersionKey(major, minor) + "\\0\\linux64";
  std::optional<std::string> path = registry.GetValue(key);
  if (!path) {
    *err = "type library " + FormatGuid(libid) + " version " + VersionKey(major, minor) +
           " is not registered";
    return TYPE_E_LIBNOTREGISTERED;
  }
  std::string why;
  LibraryHandle library = LibraryHandle::Open(*path, &why);
  if (!library.is_open()) {
    *err = "cannot load type library " + *path + ": " + why;
    return TYPE_E_LIBNOTREGISTERED;
  }
  auto get = library.Function<AutomationGetTypeLibraryFn>(kTypeLibrarySymbol);
  const AutomationTypeLibraryDesc* desc = get != nullptr ? get() : nullptr;
  HRESULT hr = TYPE_E_LIBNOTREGISTERED;
  if (desc == nullptr) {
    *err = *path + " carries no type library";
  } else if (ParseGuid(desc->libid) != libid) {
    *err = *path + " carries a different type library";
  } else {
    hr = CreateTypeInfo(*desc, type_info);
    if (Failed(hr)) *err = "the type library in " + *path + " is malformed";
  }
  return hr;
}

}  // namespace verdanpost
