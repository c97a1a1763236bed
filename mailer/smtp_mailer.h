#ifndef VERDANPOST_MAILER_SMTP_MAILER_H_
#define VERDANPOST_MAILER_SMTP_MAILER_H_

#include <atomic>

#include "mailer/ismtp_mailer.h"
#include "mailer/mailer.h"

namespace verdanpost {

// The automation object: ISMTPMailer over one Mailer. Strings arrive and
// leave as BSTRs and are converted to and from UTF-8 in full; a null BSTR
// reads as "". Every member answers S_OK (send failures are reported in
// ErrorCode and ErrorMessage) except for a null out pointer (E_POINTER) or
// lack of memory (E_OUTOFMEMORY). Each live object holds one module lock.
class SMTPMailer final : public ISMTPMailer {
 public:
  // Creates an object and asks it for `riid`; the object dies again when
  // the interface is not offered.
  static HRESULT Create(REFIID riid, void** object);

  SMTPMailer(const SMTPMailer&) = delete;
  SMTPMailer& operator=(const SMTPMailer&) = delete;

  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** type_info) override;
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                        DISPID* dispids) override;
  HRESULT Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                 VARIANT* result, EXCEPINFO* excepinfo, UINT* arg_err) override;

  HRESULT SendRawMessageFromFile(BSTR FileName) override;
  HRESULT SendMessageFromFile(BSTR From, BSTR To, BSTR Cc, BSTR Bcc, BSTR Subject,
                              BSTR FileName) override;
  HRESULT SendMessage(BSTR From, BSTR To, BSTR Cc, BSTR Bcc, BSTR Subject, BSTR Message) override;
  HRESULT get_IgnoreTo(LONG* pVal) override;
  HRESULT put_IgnoreTo(LONG newVal) override;
  HRESULT SendRawMessage(BSTR Message) override;
  HRESULT get_ErrorCode(LONG* pVal) override;
  HRESULT get_ErrorMessage(BSTR* pVal) override;
  HRESULT get_ServerName(BSTR* pVal) override;
  HRESULT put_ServerName(BSTR newVal) override;

 private:
  SMTPMailer();
  ~SMTPMailer();  // only through the last Release()

  std::atomic<ULONG> refs_{0};
  Mailer mailer_;
};

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_MAILER_H_
