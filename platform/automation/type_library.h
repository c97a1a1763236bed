#ifndef VERDANPOST_PLATFORM_AUTOMATION_TYPE_LIBRARY_H_
#define VERDANPOST_PLATFORM_AUTOMATION_TYPE_LIBRARY_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/com.h"
#include "platform/automation/variant.h"

// A server library carries its type library as plain C data returned by
// the exported function AutomationGetTypeLibrary (kTypeLibrarySymbol).

extern "C" {

enum AutomationMemberKind {
  kAutomationMethod = 1,
  kAutomationPropertyGet = 2,
  kAutomationPropertyPut = 4
};

// Parameter and property types: VT_I4 or VT_BSTR.
struct AutomationParamDesc {
  const char* name;  // may be null (property puts carry no name)
  uint16_t type;
};

// One vtable slot of the dual interface. A property get returns through an
// out pointer of `type`; a put takes one value of `type`; a method takes
// `param_count` BSTRs.
struct AutomationMemberDesc {
  int32_t dispid;
  int32_t kind;  // AutomationMemberKind
  const char* name;
  const char* help;
  int32_t slot;  // vtable index, counting IUnknown's and IDispatch's seven
  int32_t param_count;
  const AutomationParamDesc* params;
};

struct AutomationTypeLibraryDesc {
  const char* name;  // e.g. "VERDANPOSTLib"
  const char* help;
  const char* libid;  // "{...}"
  uint16_t major;
  uint16_t minor;
  const char* coclass_name;
  const char* coclass_help;
  const char* clsid;
  const char* interface_name;
  const char* interface_help;
  const char* iid;
  int32_t member_count;
  const AutomationMemberDesc* members;
};

using AutomationGetTypeLibraryFn = const AutomationTypeLibraryDesc* (*)();
}

namespace verdanpost {

inline constexpr const char* kTypeLibrarySymbol = "AutomationGetTypeLibrary";

// Writes TypeLib\{libid}\MAJOR.MINOR (with the library path under
// 0\linux64) and Interface\{iid} into the registry.
HRESULT RegisterTypeLib(const AutomationTypeLibraryDesc& desc, const std::string& library_path,
                        std::string* err);
// Removes those keys again, and the parents they leave empty. A registry
// that cannot be read or written gives the system's reason
// (HResultFromErrno) when there is one.
HRESULT UnRegisterTypeLib(const AutomationTypeLibraryDesc& desc, std::string* err);

// Finds the registered library for `libid` and version, reads its
// description and returns the type info of its interface (one reference,
// owned by the caller). TYPE_E_LIBNOTREGISTERED with a message when the
// registry does not name it.
HRESULT LoadRegTypeLib(const GUID& libid, uint16_t major, uint16_t minor, ITypeInfo** type_info,
                       std::string* err);

// Type info over a description; exposed for tests that dispatch to an
// interface without going through the registry.
HRESULT CreateTypeInfo(const AutomationTypeLibraryDesc& desc, ITypeInfo** type_info);

}  // namespace verdanpost

#endif  // VERDANPOST_PLATFORM_AUTOMATION_TYPE_LIBRARY_H_
