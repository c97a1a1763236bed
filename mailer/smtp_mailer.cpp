#include "mailer/smtp_mailer.h"

#include <new>

#include "mailer/server_module.h"
#include "mailer/utf16_message_text.h"
#include "platform/automation/variant.h"

namespace verdanpost {
namespace {

// Runs `body`, turning an exception into an HRESULT: none may leave the
// library.
template <typename Body>
HRESULT Guarded(Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// The units of `text` as they are; a null BSTR is the empty string.
std::u16string_view Units(BSTR text) {
  return text != nullptr ? std::u16string_view(text, SysStringLen(text)) : std::u16string_view();
}

HRESULT ReturnString(const std::string& text, BSTR* out) {
  if (out == nullptr) return E_POINTER;
  *out = BstrFromUtf8(text);
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

SMTPMailer::SMTPMailer(IUnknown* outer) : outer_(outer != nullptr ? outer : &inner_) {
  LockModule();
}

SMTPMailer::~SMTPMailer() { UnlockModule(); }

HRESULT SMTPMailer::Create(IUnknown* outer, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  auto* mailer = new (std::nothrow) SMTPMailer(outer);
  if (mailer == nullptr) return E_OUTOFMEMORY;
  mailer->inner_.AddRef();
  HRESULT hr = mailer->inner_.QueryInterface(riid, object);
  mailer->inner_.Release();
  return hr;
}

HRESULT SMTPMailer::InnerUnknown::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IUnknown) {
    *object = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  if (riid == IID_IDispatch || riid == IID_ISMTPMailer) {
    *object = static_cast<ISMTPMailer*>(owner_);
    owner_->AddRef();  // counts on the outer object when aggregated
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG SMTPMailer::InnerUnknown::AddRef() { return ++refs_; }

ULONG SMTPMailer::InnerUnknown::Release() {
  ULONG left = --refs_;
  if (left == 0) delete owner_;
  return left;
}

HRESULT SMTPMailer::QueryInterface(REFIID riid, void** object) {
  return outer_->QueryInterface(riid, object);
}

ULONG SMTPMailer::AddRef() { return outer_->AddRef(); }

ULONG SMTPMailer::Release() { return outer_->Release(); }

HRESULT SMTPMailer::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT SMTPMailer::GetTypeInfo(UINT index, LCID /*lcid*/, ITypeInfo** type_info) {
  if (type_info == nullptr) return E_POINTER;
  *type_info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return GetMailerTypeInfo(type_info);
}

HRESULT SMTPMailer::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID /*lcid*/,
                                  DISPID* dispids) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  HRESULT hr = GetMailerTypeInfo(&info);
  if (Failed(hr)) return hr;
  hr = Guarded([&] { return info->GetIDsOfNames(names, count, dispids); });
  info->Release();
  return hr;
}

HRESULT SMTPMailer::Invoke(DISPID dispid, REFIID riid, LCID /*lcid*/, WORD flags,
                           DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepinfo,
                           UINT* arg_err) {
  SetErrorInfo(0, nullptr);
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  HRESULT hr = GetMailerTypeInfo(&info);
  if (Failed(hr)) return hr;
  hr = Guarded([&] {
    return info->Invoke(static_cast<ISMTPMailer*>(this), dispid, flags, params, result, excepinfo,
                        arg_err);
  });
  info->Release();
  return hr;
}

HRESULT SMTPMailer::SendRawMessageFromFile(BSTR FileName) {
  return Guarded([&] {
    mailer_.SendRawMessageFromFile(BstrToUtf8(FileName));
    return S_OK;
  });
}

HRESULT SMTPMailer::SendMessageFromFile(BSTR From, BSTR To, BSTR Cc, BSTR Bcc, BSTR Subject,
                                        BSTR FileName) {
  return Guarded([&] {
    mailer_.SendMessageFromFile(BstrToUtf8(From), BstrToUtf8(To), BstrToUtf8(Cc), BstrToUtf8(Bcc),
                                BstrToUtf8(Subject), BstrToUtf8(FileName));
    return S_OK;
  });
}

HRESULT SMTPMailer::SendMessage(BSTR From, BSTR To, BSTR Cc, BSTR Bcc, BSTR Subject, BSTR Message) {
  return Guarded([&] {
    // The text is converted while it is sent: a long one is never copied whole.
    mailer_.SendMessage(BstrToUtf8(From), BstrToUtf8(To), BstrToUtf8(Cc), BstrToUtf8(Bcc),
                        BstrToUtf8(Subject), Utf16MessageText(Units(Message)));
    return S_OK;
  });
}

HRESULT SMTPMailer::get_IgnoreTo(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = mailer_.ignore_to();
  return S_OK;
}

HRESULT SMTPMailer::put_IgnoreTo(LONG newVal) {
  mailer_.set_ignore_to(newVal);
  return S_OK;
}

HRESULT SMTPMailer::SendRawMessage(BSTR Message) {
  return Guarded([&] {
    mailer_.SendRawMessage(BstrToUtf8(Message));
    return S_OK;
  });
}

HRESULT SMTPMailer::get_ErrorCode(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = mailer_.error_code();
  return S_OK;
}

HRESULT SMTPMailer::get_ErrorMessage(BSTR* pVal) {
  return Guarded([&] { return ReturnString(mailer_.error_message(), pVal); });
}

HRESULT SMTPMailer::get_ServerName(BSTR* pVal) {
  return Guarded([&] { return ReturnString(mailer_.server_name(), pVal); });
}

HRESULT SMTPMailer::put_ServerName(BSTR newVal) {
  return Guarded([&] {
    mailer_.set_server_name(BstrToUtf8(newVal));
    return S_OK;
  });
}

HRESULT SMTPMailer::get_ServerReply(BSTR* pVal) {
  return Guarded([&] { return ReturnString(mailer_.server_reply(), pVal); });
}

HRESULT SMTPMailer::get_PartialDelivery(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = mailer_.partial_delivery() ? -1 : 0;
  return S_OK;
}

HRESULT SMTPMailer::put_PartialDelivery(LONG newVal) {
  mailer_.set_partial_delivery(newVal != 0);
  return S_OK;
}

HRESULT SMTPMailer::get_RefusedRecipients(BSTR* pVal) {
  return Guarded([&] { return ReturnString(mailer_.refused_recipients(), pVal); });
}

HRESULT SMTPMailer::get_KeepConnection(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = mailer_.keep_connection() ? -1 : 0;
  return S_OK;
}

HRESULT SMTPMailer::put_KeepConnection(LONG newVal) {
  return Guarded([&] {
    mailer_.set_keep_connection(newVal != 0);
    return S_OK;
  });
}

HRESULT SMTPMailer::Disconnect() {
  return Guarded([&] {
    mailer_.Disconnect();
    return S_OK;
  });
}

HRESULT SMTPMailer::get_ServerAddress(BSTR* pVal) {
  return Guarded([&] { return ReturnString(mailer_.server_address(), pVal); });
}

HRESULT SMTPMailer::get_FailureReason(BSTR* pVal) {
  return Guarded([&] { return ReturnString(mailer_.failure_reason(), pVal); });
}

HRESULT SMTPMailer::get_ExtraHeaders(BSTR* pVal) {
  return Guarded([&] { return ReturnString(mailer_.extra_headers(), pVal); });
}

HRESULT SMTPMailer::put_ExtraHeaders(BSTR newVal) {
  return Guarded([&] {
    mailer_.set_extra_headers(BstrToUtf8(newVal));
    return S_OK;
  });
}

HRESULT SMTPMailer::get_RecipientLimit(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = mailer_.recipient_limit();
  return S_OK;
}

}  // namespace verdanpost
