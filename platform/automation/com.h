#ifndef VERDANPOST_PLATFORM_AUTOMATION_COM_H_
#define VERDANPOST_PLATFORM_AUTOMATION_COM_H_

// The binary interface shared by automation servers and their callers. The
// abstract classes below are laid out exactly as their vtables are used
// across dlopen: never reorder, insert or remove a virtual member.

#include <cstdint>

#include "platform/automation/bstr.h"
#include "platform/automation/guid.h"
#include "platform/automation/hresult.h"

namespace verdanpost {

using DISPID = int32_t;
using LCID = uint32_t;
using ULONG = uint32_t;
using UINT = uint32_t;
using WORD = uint16_t;
using LONG = int32_t;
using BOOL = int32_t;
using LPOLESTR = char16_t*;

struct VARIANT;
struct DISPPARAMS;

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;

inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;

inline constexpr LCID LOCALE_NEUTRAL = 0;

// Exception details that Invoke may fill when it returns DISP_E_EXCEPTION.
struct EXCEPINFO {
  BSTR bstrSource;
  BSTR bstrDescription;
  HRESULT scode;
};

inline constexpr GUID IID_NULL{};
inline constexpr GUID IID_IUnknown{
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID IID_IClassFactory{
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID IID_IDispatch{
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID IID_ITypeInfo{
    0x00020401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Objects are destroyed by their last Release(), never by delete through an
// interface pointer; the protected destructors say so.
class IUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

class ITypeInfo;

class IDispatch : public IUnknown {
 public:
  virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** type_info) = 0;
  virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                DISPID* dispids) = 0;
  virtual HRESULT Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* excepinfo, UINT* arg_err) = 0;

 protected:
  ~IDispatch() = default;
};

class IClassFactory : public IUnknown {
 public:
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT LockServer(BOOL lock) = 0;

 protected:
  ~IClassFactory() = default;
};

// The description of one dual interface, read from a registered type
// library. Invoke calls the member's vtable slot on `instance`, which must
// point at an object implementing that interface.
class ITypeInfo : public IUnknown {
 public:
  virtual HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* dispids) = 0;
  virtual HRESULT Invoke(void* instance, DISPID dispid, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* excepinfo, UINT* arg_err) = 0;

 protected:
  ~ITypeInfo() = default;
};

// The four entry points of an in-process server, looked up with dlsym.
extern "C" {
using DllGetClassObjectFn = HRESULT (*)(REFCLSID clsid, REFIID riid, void** object);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();
}

// Clears the calling thread's error information. This runtime keeps no rich
// error information, so there is nothing to clear; servers call it anyway so
// that a caller never sees a stale error.
inline HRESULT SetErrorInfo(ULONG /*reserved*/, void* /*error_info*/) { return S_OK; }

}  // namespace verdanpost

#endif  // VERDANPOST_PLATFORM_AUTOMATION_COM_H_
