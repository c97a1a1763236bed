#include "platform/automation/variant.h"

#include <charconv>
#include <limits>
#include <optional>

#include "platform/ascii.h"

namespace verdanpost {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The value of `src` as a 64-bit integer, or an error.
HRESULT ToInteger(const VARIANT& src, int64_t* out) {
  switch (src.vt) {
    case VT_EMPTY:
      *out = 0;
      return S_OK;
    case VT_I2:
      *out = src.iVal;
      return S_OK;
    case VT_I4:
      *out = src.lVal;
      return S_OK;
    case VT_BOOL:
      *out = src.boolVal != 0 ? -1 : 0;
      return S_OK;
    case VT_BSTR: {
      std::string text = BstrToUtf8(src.bstrVal);
      std::string_view s = Trim(text);
      if (EqualsIgnoreAsciiCase(s, "true")) {
        *out = -1;
        return S_OK;
      }
      if (EqualsIgnoreAsciiCase(s, "false")) {
        *out = 0;
        return S_OK;
      }
      if (!s.empty() && s.front() == '+') s.remove_prefix(1);
      int64_t value = 0;
      auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
      if (s.empty() || end != s.data() + s.size()) return DISP_E_TYPEMISMATCH;
      if (ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
      if (ec != std::errc()) return DISP_E_TYPEMISMATCH;
      *out = value;
      return S_OK;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

}  // namespace

void VariantInit(VARIANT* v) {
  v->vt = VT_EMPTY;
  v->lVal = 0;
}

HRESULT VariantClear(VARIANT* v) {
  if (v == nullptr) return E_POINTER;
  if (v->vt == VT_BSTR) {
    SysFreeString(v->bstrVal);
  } else if (v->vt == VT_DISPATCH && v->pdispVal != nullptr) {
    v->pdispVal->Release();
  }
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
  if (dest == nullptr || src == nullptr) return E_POINTER;
  if (dest == src) return S_OK;
  VARIANT copy = *src;
  if (src->vt == VT_BSTR && src->bstrVal != nullptr) {
    copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
    if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
  } else if (src->vt == VT_DISPATCH && src->pdispVal != nullptr) {
    src->pdispVal->AddRef();
  } else if (src->vt != VT_EMPTY && src->vt != VT_I2 && src->vt != VT_I4 && src->vt != VT_BOOL &&
             src->vt != VT_BSTR && src->vt != VT_DISPATCH) {
    return DISP_E_BADVARTYPE;
  }
  VariantClear(dest);
  *dest = copy;
  return S_OK;
}

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, uint16_t /*flags*/, VARTYPE vt) {
  if (dest == nullptr || src == nullptr) return E_POINTER;
  VARIANT result;
  VariantInit(&result);
  result.vt = vt;
  if (src->vt == vt) return VariantCopy(dest, src);
  switch (vt) {
    case VT_EMPTY:
      break;
    case VT_I2:
    case VT_I4:
    case VT_BOOL: {
      int64_t value = 0;
      HRESULT hr = ToInteger(*src, &value);
      if (Failed(hr)) return hr;
      if (vt == VT_BOOL) {
        result.boolVal = value != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      } else if (vt == VT_I2) {
        if (value < std::numeric_limits<int16_t>::min() ||
            value > std::numeric_limits<int16_t>::max())
          return DISP_E_OVERFLOW;
        result.iVal = static_cast<int16_t>(value);
      } else {
        if (value < std::numeric_limits<int32_t>::min() ||
            value > std::numeric_limits<int32_t>::max())
          return DISP_E_OVERFLOW;
        result.lVal = static_cast<int32_t>(value);
      }
      break;
    }
    case VT_BSTR: {
      std::string text;
      switch (src->vt) {
        case VT_EMPTY:
          break;
        case VT_I2:
          text = std::to_string(src->iVal);
          break;
        case VT_I4:
          text = std::to_string(src->lVal);
          break;
        case VT_BOOL:
          text = src->boolVal != 0 ? "True" : "False";
          break;
        default:
          return DISP_E_TYPEMISMATCH;
      }
      result.bstrVal = BstrFromUtf8(text);
      if (result.bstrVal == nullptr) return E_OUTOFMEMORY;
      break;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
  VariantClear(dest);
  *dest = result;
  return S_OK;
}

Variant::Variant(int32_t value) {
  v_.vt = VT_I4;
  v_.lVal = value;
}

Variant::Variant(bool value) {
  VariantInit(&v_);
  v_.vt = VT_BOOL;
  v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

Variant::Variant(std::string_view utf8) {
  v_.vt = VT_BSTR;
  v_.bstrVal = BstrFromUtf8(utf8);
}

Variant::Variant(Bstr text) {
  v_.vt = VT_BSTR;
  v_.bstrVal = text.Release();
}

Variant::Variant(const Variant& other) {
  VariantInit(&v_);
  VariantCopy(&v_, &other.v_);
}

Variant& Variant::operator=(const Variant& other) {
  VariantCopy(&v_, &other.v_);
  return *this;
}

Variant::Variant(Variant&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }

Variant& Variant::operator=(Variant&& other) noexcept {
  if (this != &other) {
    VariantClear(&v_);
    v_ = other.v_;
    VariantInit(&other.v_);
  }
  return *this;
}

VARIANT* Variant::Receive() {
  VariantClear(&v_);
  return &v_;
}

std::string Variant::ToString() const {
  switch (v_.vt) {
    case VT_I2:
      return std::to_string(v_.iVal);
    case VT_I4:
      return std::to_string(v_.lVal);
    case VT_BOOL:
      return v_.boolVal != 0 ? "true" : "false";
    case VT_BSTR:
      return BstrToUtf8(v_.bstrVal);
    case VT_DISPATCH:
      return "(object)";
    default:
      return "";
  }
}

}  // namespace verdanpost
