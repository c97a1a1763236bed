#include "platform/automation/hresult.h"

#include <cstdio>
#include <cstring>

namespace verdanpost {
namespace {

// Failure, customer bit, facility 1: the low 16 bits are an errno.
constexpr uint32_t kErrnoBase = 0xA0010000u;

}  // namespace

HRESULT HResultFromErrno(int error_number) {
  if (error_number <= 0 || error_number > 0xFFFF) return E_FAIL;
  return MakeHResult(kErrnoBase | static_cast<uint32_t>(error_number));
}

int ErrnoFromHResult(HRESULT hr) {
  uint32_t value = static_cast<uint32_t>(hr);
  if ((value & 0xFFFF0000u) != kErrnoBase) return 0;
  return static_cast<int>(value & 0xFFFFu);
}

std::string DescribeHResult(HRESULT hr) {
  std::string system_text;
  const char* text = "error";
  if (int error_number = ErrnoFromHResult(hr); error_number != 0) {
    system_text = std::strerror(error_number);
    text = system_text.c_str();
  }
  switch (hr) {
    case S_OK:
      text = "success";
      break;
    case S_FALSE:
      text = "success (false)";
      break;
    case E_NOTIMPL:
      text = "not implemented";
      break;
    case E_NOINTERFACE:
      text = "interface not supported";
      break;
    case E_POINTER:
      text = "invalid pointer";
      break;
    case E_FAIL:
      text = "unspecified failure";
      break;
    case E_UNEXPECTED:
      text = "unexpected failure";
      break;
    case E_OUTOFMEMORY:
      text = "out of memory";
      break;
    case E_INVALIDARG:
      text = "invalid argument";
      break;
    case CLASS_E_NOAGGREGATION:
      text = "class does not support aggregation";
      break;
    case CLASS_E_CLASSNOTAVAILABLE:
      text = "class not available from this library";
      break;
    case REGDB_E_READREGDB:
      text = "could not read the registry";
      break;
    case REGDB_E_WRITEREGDB:
      text = "could not write the registry";
      break;
    case REGDB_E_CLASSNOTREG:
      text = "class not registered";
      break;
    case CO_E_CLASSSTRING:
      text = "ProgID not registered";
      break;
    case CO_E_DLLNOTFOUND:
      text = "server library not found";
      break;
    case CO_E_ERRORINDLL:
      text = "server library is missing an entry point";
      break;
    case DISP_E_UNKNOWNINTERFACE:
      text = "unknown interface";
      break;
    case DISP_E_MEMBERNOTFOUND:
      text = "member not found";
      break;
    case DISP_E_PARAMNOTFOUND:
      text = "parameter not found";
      break;
    case DISP_E_TYPEMISMATCH:
      text = "type mismatch";
      break;
    case DISP_E_UNKNOWNNAME:
      text = "unknown name";
      break;
    case DISP_E_BADVARTYPE:
      text = "bad variant type";
      break;
    case DISP_E_EXCEPTION:
      text = "exception occurred";
      break;
    case DISP_E_OVERFLOW:
      text = "value out of range";
      break;
    case DISP_E_BADINDEX:
      text = "index out of range";
      break;
    case DISP_E_BADPARAMCOUNT:
      text = "wrong number of parameters";
      break;
    case TYPE_E_LIBNOTREGISTERED:
      text = "type library not registered";
      break;
    default:
      break;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, " (0x%08X)", static_cast<uint32_t>(hr));
  return std::string(text) + buf;
}

}  // namespace verdanpost
