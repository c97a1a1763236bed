#ifndef VERDANPOST_PLATFORM_AUTOMATION_AUTOMATION_OBJECT_H_
#define VERDANPOST_PLATFORM_AUTOMATION_AUTOMATION_OBJECT_H_

#include <span>
#include <string>
#include <vector>

#include "platform/automation/com.h"
#include "platform/automation/variant.h"

namespace verdanpost {

// The outcome of one late-bound call: ok() or an error() text that names
// the member and the reason, e.g. "SendMessage: wrong number of parameters
// (0x8002000E)". value() is the property's value or the method's result.
class AutomationResult {
 public:
  AutomationResult() = default;
  AutomationResult(HRESULT hr, std::string error) : hr_(hr), error_(std::move(error)) {}

  bool ok() const { return Succeeded(hr_); }
  HRESULT hr() const { return hr_; }
  const std::string& error() const { return error_; }
  const Variant& value() const { return value_; }
  Variant* mutable_value() { return &value_; }

 private:
  HRESULT hr_ = S_OK;
  std::string error_;
  Variant value_;
};

// Late binding over one object's IDispatch, holding one reference. Members
// are found by name without regard to case. Use from the thread that
// created it.
//
//   std::string err;
//   AutomationObject mailer = AutomationObject::Create("Verdanpost.SMTPMailer.1", &err);
//   if (!mailer.valid()) { ...report err... }
//   mailer.Put("ServerName", Variant("mail.example.org"));
//   std::vector<Variant> args;  // built in place: an initializer list would copy each one
//   for (std::string_view field : {from, to, cc, bcc, subject, text}) args.emplace_back(field);
//   mailer.Call("SendMessage", args);
//   int32_t code = mailer.Get("ErrorCode").value().get().lVal;
class AutomationObject {
 public:
  AutomationObject() = default;
  // Takes over the caller's reference on `dispatch`.
  explicit AutomationObject(IDispatch* dispatch) : dispatch_(dispatch) {}
  AutomationObject(const AutomationObject&) = delete;
  AutomationObject& operator=(const AutomationObject&) = delete;
  AutomationObject(AutomationObject&& other) noexcept : dispatch_(other.dispatch_) {
    other.dispatch_ = nullptr;
  }
  AutomationObject& operator=(AutomationObject&& other) noexcept;
  ~AutomationObject() { Reset(); }

  // Creates an object by ProgID; on failure the result is not valid() and
  // *err says why (ProgID not registered, library not loadable, ...).
  static AutomationObject Create(const std::string& progid, std::string* err);

  bool valid() const { return dispatch_ != nullptr; }
  IDispatch* get() const { return dispatch_; }
  void Reset();

  AutomationResult Get(const std::string& name);
  AutomationResult Put(const std::string& name, const Variant& value);
  AutomationResult Call(const std::string& name, const std::vector<Variant>& args = {});
  // Get, or a call without arguments when the member is a method.
  AutomationResult GetOrCall(const std::string& name);

 private:
  AutomationResult Invoke(const std::string& name, WORD flags, std::span<const Variant> args);

  IDispatch* dispatch_ = nullptr;
};

}  // namespace verdanpost

#endif  // VERDANPOST_PLATFORM_AUTOMATION_AUTOMATION_OBJECT_H_
