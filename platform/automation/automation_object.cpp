#include "platform/automation/automation_object.h"

#include "platform/automation/creation.h"

namespace verdanpost {

AutomationObject& AutomationObject::operator=(AutomationObject&& other) noexcept {
  if (this != &other) {
    Reset();
    dispatch_ = other.dispatch_;
    other.dispatch_ = nullptr;
  }
  return *this;
}

void AutomationObject::Reset() {
  if (dispatch_ != nullptr) dispatch_->Release();
  dispatch_ = nullptr;
}

AutomationObject AutomationObject::Create(const std::string& progid, std::string* err) {
  CLSID clsid;
  if (Failed(CLSIDFromProgID(progid, &clsid, err))) return AutomationObject();
  void* object = nullptr;
  std::string why;
  if (Failed(CoCreateInstance(clsid, nullptr, IID_IDispatch, &object, &why))) {
    *err = progid + ": " + why;
    return AutomationObject();
  }
  return AutomationObject(static_cast<IDispatch*>(object));
}

AutomationResult AutomationObject::Get(const std::string& name) {
  return Invoke(name, DISPATCH_PROPERTYGET, {});
}

AutomationResult AutomationObject::Put(const std::string& name, const Variant& value) {
  return Invoke(name, DISPATCH_PROPERTYPUT, std::span(&value, 1));
}

AutomationResult AutomationObject::Call(const std::string& name, const std::vector<Variant>& args) {
  return Invoke(name, DISPATCH_METHOD, args);
}

AutomationResult AutomationObject::GetOrCall(const std::string& name) {
  return Invoke(name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, {});
}

AutomationResult AutomationObject::Invoke(const std::string& name, WORD flags,
                                          std::span<const Variant> args) {
  if (dispatch_ == nullptr) return AutomationResult(E_POINTER, name + ": no object");
  std::u16string wide = Utf8ToUtf16(name);
  LPOLESTR names[] = {wide.data()};
  DISPID dispid = DISPID_UNKNOWN;
  HRESULT hr = dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_NEUTRAL, &dispid);
  if (Failed(hr)) return AutomationResult(hr, name + ": " + DescribeHResult(hr));

  // Invoke takes the arguments last to first; they are lent, not copied.
  std::vector<VARIANT> reversed(args.size());
  for (size_t i = 0; i < args.size(); ++i) reversed[args.size() - 1 - i] = args[i].get();
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(args.size()), 0};
  if (flags & DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  AutomationResult result;
  UINT arg_err = 0;
  EXCEPINFO excepinfo{nullptr, nullptr, S_OK};
  hr = dispatch_->Invoke(dispid, IID_NULL, LOCALE_NEUTRAL, flags, &params,
                         result.mutable_value()->Receive(), &excepinfo, &arg_err);
  SysFreeString(excepinfo.bstrSource);
  SysFreeString(excepinfo.bstrDescription);
  if (Failed(hr)) {
    std::string text = name + ": " + DescribeHResult(hr);
    if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW)
      text += " in argument " + std::to_string(args.size() - arg_err);
    return AutomationResult(hr, text);
  }
  return result;
}

}  // namespace verdanpost
