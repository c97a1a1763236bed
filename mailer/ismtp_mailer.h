#ifndef VERDANPOST_MAILER_ISMTP_MAILER_H_
#define VERDANPOST_MAILER_ISMTP_MAILER_H_

#include "platform/automation/com.h"

namespace verdanpost {

// The identifiers of the type library, the class and the interface. Their
// texts in the type library are made from these (GuidText).
inline constexpr GUID LIBID_VERDANPOSTLib{
    0xDF0C4A4F, 0x8363, 0x4F68, {0x92, 0x99, 0xCE, 0x98, 0x69, 0x6E, 0x1F, 0xBC}};
inline constexpr GUID CLSID_SMTPMailer{
    0x0B0F3D77, 0xB6B0, 0x45A7, {0x97, 0x46, 0x32, 0x44, 0x29, 0x30, 0x20, 0xBA}};
inline constexpr GUID IID_ISMTPMailer{
    0xEFDE624E, 0x5D41, 0x4582, {0xA5, 0x4A, 0xB6, 0xE4, 0x55, 0xDB, 0xBE, 0x96}};

// The version of the type library that describes ISMTPMailer; it is the
// interface's version, not the file's, and changes only with the interface.
inline constexpr uint16_t kMailerTypeLibraryMajor = 1;
inline constexpr uint16_t kMailerTypeLibraryMinor = 0;

// The mailer's dual interface. The members follow IDispatch's in dispatch
// identifier order (vtable slots 7 to 28); that order is the binary
// interface and must not change: new members only ever go at the end. The type library
// (mailer_type_library.cpp) names the same slots; mailer_type_library_test checks that they agree.
class ISMTPMailer : public IDispatch {
 public:
  virtual HRESULT SendRawMessageFromFile(BSTR FileName) = 0;  // 1
  virtual HRESULT SendMessageFromFile(BSTR From, BSTR To, BSTR Cc, BSTR Bcc, BSTR Subject,
                                      BSTR FileName) = 0;  // 2
  virtual HRESULT SendMessage(BSTR From, BSTR To, BSTR Cc, BSTR Bcc, BSTR Subject,
                              BSTR Message) = 0;          // 3
  virtual HRESULT get_IgnoreTo(LONG* pVal) = 0;           // 4
  virtual HRESULT put_IgnoreTo(LONG newVal) = 0;          // 4
  virtual HRESULT SendRawMessage(BSTR Message) = 0;       // 5
  virtual HRESULT get_ErrorCode(LONG* pVal) = 0;          // 6
  virtual HRESULT get_ErrorMessage(BSTR* pVal) = 0;       // 7
  virtual HRESULT get_ServerName(BSTR* pVal) = 0;         // 8
  virtual HRESULT put_ServerName(BSTR newVal) = 0;        // 8
  virtual HRESULT get_ServerReply(BSTR* pVal) = 0;        // 9
  virtual HRESULT get_PartialDelivery(LONG* pVal) = 0;    // 10
  virtual HRESULT put_PartialDelivery(LONG newVal) = 0;   // 10
  virtual HRESULT get_RefusedRecipients(BSTR* pVal) = 0;  // 11
  virtual HRESULT get_KeepConnection(LONG* pVal) = 0;     // 12
  virtual HRESULT put_KeepConnection(LONG newVal) = 0;    // 12
  virtual HRESULT Disconnect() = 0;                       // 13
  virtual HRESULT get_ServerAddress(BSTR* pVal) = 0;      // 14
  virtual HRESULT get_FailureReason(BSTR* pVal) = 0;      // 15
  virtual HRESULT get_ExtraHeaders(BSTR* pVal) = 0;       // 16
  virtual HRESULT put_ExtraHeaders(BSTR newVal) = 0;      // 16
  virtual HRESULT get_RecipientLimit(LONG* pVal) = 0;     // 17

 protected:
  ~ISMTPMailer() = default;
};

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_ISMTP_MAILER_H_
