#ifndef VERDANPOST_PLATFORM_AUTOMATION_VARIANT_H_
#define VERDANPOST_PLATFORM_AUTOMATION_VARIANT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/automation/bstr.h"
#include "platform/automation/com.h"

namespace verdanpost {

using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;

inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_DISPATCH = 9;
inline constexpr VARTYPE VT_BOOL = 11;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// A value of one of the types above. A VARIANT owns its BSTR and holds one
// reference on its IDispatch.
struct VARIANT {
  VARTYPE vt;
  union {
    int16_t iVal;
    int32_t lVal;
    VARIANT_BOOL boolVal;
    BSTR bstrVal;
    IDispatch* pdispVal;
  };
};

// Arguments of IDispatch::Invoke. As automation callers expect, rgvarg holds
// the arguments in reverse order: rgvarg[cArgs - 1] is the first one.
struct DISPPARAMS {
  VARIANT* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

void VariantInit(VARIANT* v);
// Frees what `v` owns and leaves it VT_EMPTY.
HRESULT VariantClear(VARIANT* v);
// Deep copy: `dest` is cleared first.
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// Converts `src` to `vt` into `dest` (which may be `src`). Booleans become
// -1/0 as integers and "True"/"False" as text; text that parses as an
// integer (or "true"/"false") converts to it; out-of-range values give
// DISP_E_OVERFLOW, other impossible conversions DISP_E_TYPEMISMATCH.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, uint16_t flags, VARTYPE vt);

// Owns one VARIANT; what callers of AutomationObject pass and receive.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  explicit Variant(int32_t value);
  explicit Variant(bool value);
  explicit Variant(std::string_view utf8);
  explicit Variant(const char* utf8) : Variant(std::string_view(utf8)) {}
  // Takes the string over without copying it.
  explicit Variant(Bstr text);
  Variant(const Variant& other);
  Variant& operator=(const Variant& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(Variant&& other) noexcept;
  ~Variant() { VariantClear(&v_); }

  VARTYPE type() const { return v_.vt; }
  const VARIANT& get() const { return v_; }
  VARIANT* Receive();

  // Text form as autocall prints it: integers in decimal, Booleans "true" or
  // "false", strings as they are, "" for empty.
  std::string ToString() const;

 private:
  VARIANT v_;
};

}  // namespace verdanpost

#endif  // VERDANPOST_PLATFORM_AUTOMATION_VARIANT_H_
