#include "platform/automation/hresult.h"

#include <cstdio>

namespace verdanpost {

std::string DescribeHResult(HRESULT hr) {
  const char* text = "error";
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
