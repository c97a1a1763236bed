// The guard keeps the class name whole: spelling the path would give the
// guard of mailer/smtp/mailer.h.
#ifndef VERDANPOST_MAILER_SMTPMAILER_H_
#define VERDANPOST_MAILER_SMTPMAILER_H_

#include <atomic>

#include "mailer/ismtp_mailer.h"
#include "mailer/smtp/mailer.h"

namespace verdanpost {

// The automation object: ISMTPMailer over one Mailer. Strings arrive and
// leave as BSTRs and are converted to and from UTF-8 in full, except the
// text of SendMessage, which is converted piece by piece while it is sent; a
// null BSTR reads as "". Every member answers S_OK (send failures are reported in
// ErrorCode and ErrorMessage) except for a null out pointer (E_POINTER) or
// lack of memory (E_OUTOFMEMORY). Each live object holds one module lock.
// The object can be aggregated: given an outer object, it hands out its own
// (non-delegating) IUnknown only, and its other interfaces pass AddRef,
// Release and QueryInterface on to the outer object.
class SMTPMailer final : public ISMTPMailer {
 public:
  // Creates an object and asks it for `riid`; the object dies again when
  // the interface is not offered. With an `outer` object only IID_IUnknown
  // may be asked for, else CLASS_E_NOAGGREGATION.
  static HRESULT Create(IUnknown* outer, REFIID riid, void** object);

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
  HRESULT get_ServerReply(BSTR* pVal) override;
  // The two switches read back as -1 (on) or 0 (off); any value but 0
  // switches on, as for IgnoreTo.
  HRESULT get_PartialDelivery(LONG* pVal) override;
  HRESULT put_PartialDelivery(LONG newVal) override;
  HRESULT get_RefusedRecipients(BSTR* pVal) override;
  HRESULT get_KeepConnection(LONG* pVal) override;
  HRESULT put_KeepConnection(LONG newVal) override;
  HRESULT Disconnect() override;
  HRESULT get_ServerAddress(BSTR* pVal) override;
  HRESULT get_FailureReason(BSTR* pVal) override;
  HRESULT get_ExtraHeaders(BSTR* pVal) override;
  HRESULT put_ExtraHeaders(BSTR newVal) override;
  HRESULT get_RecipientLimit(LONG* pVal) override;

 private:
  // The object's own IUnknown, which owns the reference count.
  class InnerUnknown final : public IUnknown {
   public:
    explicit InnerUnknown(SMTPMailer* owner) : owner_(owner) {}
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

   private:
    SMTPMailer* owner_;
    std::atomic<ULONG> refs_{0};
  };

  explicit SMTPMailer(IUnknown* outer);
  ~SMTPMailer();  // only through the last Release() of inner_

  InnerUnknown inner_{this};
  IUnknown* outer_;  // the aggregating object, or &inner_; never owned
  Mailer mailer_;
};

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTPMAILER_H_
