#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mailer/ismtp_mailer.h"
#include "mailer/module_resources.h"
#include "mailer/server_module.h"
#include "platform/automation/automation_object.h"
#include "platform/automation/bstr.h"
#include "platform/automation/type_library.h"

namespace verdanpost {
namespace {

// An ISMTPMailer that writes down which member was reached with what, and
// dispatches through the type library under test, as SMTPMailer does.
class RecordingMailer final : public ISMTPMailer {
 public:
  RecordingMailer() { CreateTypeInfo(MailerTypeLibrary(), &info_); }
  ~RecordingMailer() {
    if (info_ != nullptr) info_->Release();
  }

  bool ready() const { return info_ != nullptr; }
  const std::string& calls() const { return calls_; }

  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* dispids) override {
    return info_->GetIDsOfNames(names, count, dispids);
  }
  HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepinfo, UINT* arg_err) override {
    return info_->Invoke(static_cast<ISMTPMailer*>(this), dispid, flags, params, result, excepinfo,
                         arg_err);
  }

  HRESULT SendRawMessageFromFile(BSTR FileName) override {
    return Record("SendRawMessageFromFile", {FileName});
  }
  HRESULT SendMessageFromFile(BSTR From, BSTR To, BSTR Cc, BSTR Bcc, BSTR Subject,
                              BSTR FileName) override {
    return Record("SendMessageFromFile", {From, To, Cc, Bcc, Subject, FileName});
  }
  HRESULT SendMessage(BSTR From, BSTR To, BSTR Cc, BSTR Bcc, BSTR Subject, BSTR Message) override {
    return Record("SendMessage", {From, To, Cc, Bcc, Subject, Message});
  }
  HRESULT get_IgnoreTo(LONG* pVal) override {
    calls_ += "get_IgnoreTo;";
    *pVal = ignore_to_;
    return S_OK;
  }
  HRESULT put_IgnoreTo(LONG newVal) override {
    calls_ += "put_IgnoreTo(" + std::to_string(newVal) + ");";
    ignore_to_ = newVal;
    return S_OK;
  }
  HRESULT SendRawMessage(BSTR Message) override { return Record("SendRawMessage", {Message}); }
  HRESULT get_ErrorCode(LONG* pVal) override {
    calls_ += "get_ErrorCode;";
    *pVal = 42;
    return S_OK;
  }
  HRESULT get_ErrorMessage(BSTR* pVal) override {
    calls_ += "get_ErrorMessage;";
    *pVal = BstrFromUtf8("error text");
    return S_OK;
  }
  HRESULT get_ServerName(BSTR* pVal) override {
    calls_ += "get_ServerName;";
    *pVal = BstrFromUtf8(server_name_);
    return S_OK;
  }
  HRESULT put_ServerName(BSTR newVal) override {
    server_name_ = BstrToUtf8(newVal);
    calls_ += "put_ServerName(" + server_name_ + ");";
    return S_OK;
  }
  HRESULT get_ServerReply(BSTR* pVal) override { return Text("get_ServerReply", "250 ok", pVal); }
  HRESULT get_PartialDelivery(LONG* pVal) override {
    calls_ += "get_PartialDelivery;";
    *pVal = partial_;
    return S_OK;
  }
  HRESULT put_PartialDelivery(LONG newVal) override {
    calls_ += "put_PartialDelivery(" + std::to_string(newVal) + ");";
    partial_ = newVal;
    return S_OK;
  }
  HRESULT get_RefusedRecipients(BSTR* pVal) override {
    return Text("get_RefusedRecipients", "a\t550\tno", pVal);
  }
  HRESULT get_KeepConnection(LONG* pVal) override {
    calls_ += "get_KeepConnection;";
    *pVal = keep_;
    return S_OK;
  }
  HRESULT put_KeepConnection(LONG newVal) override {
    calls_ += "put_KeepConnection(" + std::to_string(newVal) + ");";
    keep_ = newVal;
    return S_OK;
  }
  HRESULT Disconnect() override { return Record("Disconnect", {}); }
  HRESULT get_ServerAddress(BSTR* pVal) override {
    return Text("get_ServerAddress", "mx:25", pVal);
  }
  HRESULT get_FailureReason(BSTR* pVal) override {
    return Text("get_FailureReason", "timed out", pVal);
  }
  HRESULT get_ExtraHeaders(BSTR* pVal) override { return Text("get_ExtraHeaders", "X-A: 1", pVal); }
  HRESULT put_ExtraHeaders(BSTR newVal) override { return Record("put_ExtraHeaders", {newVal}); }
  HRESULT get_RecipientLimit(LONG* pVal) override {
    calls_ += "get_RecipientLimit;";
    *pVal = 50;
    return S_OK;
  }

 private:
  HRESULT Record(const char* member, std::vector<BSTR> args) {
    calls_ += member;
    calls_ += "(";
    for (size_t i = 0; i < args.size(); ++i) calls_ += (i > 0 ? "," : "") + BstrToUtf8(args[i]);
    calls_ += ");";
    return S_OK;
  }

  HRESULT Text(const char* member, const char* text, BSTR* pVal) {
    calls_ += member;
    calls_ += ";";
    *pVal = BstrFromUtf8(text);
    return S_OK;
  }

  ITypeInfo* info_ = nullptr;
  std::string calls_;
  LONG ignore_to_ = 0;
  LONG partial_ = 0;
  LONG keep_ = 0;
  std::string server_name_;
};

std::vector<Variant> Texts(std::initializer_list<const char*> texts) {
  std::vector<Variant> out;
  for (const char* text : texts) out.emplace_back(text);
  return out;
}

// A slot, parameter count or kind in the description that does not match
// ISMTPMailer's declaration would reach another member, or none.
TEST(MailerTypeLibraryTest, EveryMemberReachesItsOwnSlot) {
  RecordingMailer fake;
  ASSERT_TRUE(fake.ready());
  AutomationObject mailer(&fake);
  ASSERT_TRUE(mailer.Call("SendRawMessageFromFile", Texts({"f"})).ok());
  ASSERT_TRUE(mailer.Call("SendMessageFromFile", Texts({"1", "2", "3", "4", "5", "6"})).ok());
  ASSERT_TRUE(mailer.Call("SendMessage", Texts({"a", "b", "c", "d", "e", "f"})).ok());
  ASSERT_TRUE(mailer.Put("IgnoreTo", Variant(int32_t{3})).ok());
  EXPECT_EQ(mailer.Get("IgnoreTo").value().get().lVal, 3);
  ASSERT_TRUE(mailer.Call("SendRawMessage", Texts({"raw"})).ok());
  EXPECT_EQ(mailer.Get("ErrorCode").value().get().lVal, 42);
  EXPECT_EQ(mailer.Get("ErrorMessage").value().ToString(), "error text");
  ASSERT_TRUE(mailer.Put("ServerName", Variant("mx")).ok());
  EXPECT_EQ(mailer.Get("ServerName").value().ToString(), "mx");
  EXPECT_EQ(mailer.Get("ServerReply").value().ToString(), "250 ok");
  ASSERT_TRUE(mailer.Put("PartialDelivery", Variant(true)).ok());
  EXPECT_EQ(mailer.Get("PartialDelivery").value().get().lVal, -1);
  EXPECT_EQ(mailer.Get("RefusedRecipients").value().ToString(), "a\t550\tno");
  ASSERT_TRUE(mailer.Put("KeepConnection", Variant(int32_t{1})).ok());
  EXPECT_EQ(mailer.Get("KeepConnection").value().get().lVal, 1);
  ASSERT_TRUE(mailer.Call("Disconnect", {}).ok());
  EXPECT_EQ(mailer.Get("ServerAddress").value().ToString(), "mx:25");
  EXPECT_EQ(mailer.Get("FailureReason").value().ToString(), "timed out");
  ASSERT_TRUE(mailer.Put("ExtraHeaders", Variant("List-Id: <l.x>")).ok());
  EXPECT_EQ(mailer.Get("ExtraHeaders").value().ToString(), "X-A: 1");
  EXPECT_EQ(mailer.Get("RecipientLimit").value().get().lVal, 50);
  // Read-only.
  EXPECT_FALSE(mailer.Put("RecipientLimit", Variant(int32_t{7})).ok());
  EXPECT_EQ(fake.calls(),
            "SendRawMessageFromFile(f);SendMessageFromFile(1,2,3,4,5,6);"
            "SendMessage(a,b,c,d,e,f);put_IgnoreTo(3);get_IgnoreTo;SendRawMessage(raw);"
            "get_ErrorCode;get_ErrorMessage;put_ServerName(mx);get_ServerName;"
            "get_ServerReply;put_PartialDelivery(-1);get_PartialDelivery;"
            "get_RefusedRecipients;put_KeepConnection(1);get_KeepConnection;Disconnect();"
            "get_ServerAddress;get_FailureReason;put_ExtraHeaders(List-Id: <l.x>);"
            "get_ExtraHeaders;get_RecipientLimit;");
  mailer.Reset();
}

TEST(MailerTypeLibraryTest, TextsNameTheVersionsTheyDescribe) {
  const AutomationTypeLibraryDesc& desc = MailerTypeLibrary();
  EXPECT_EQ(std::string(desc.help), "Verdanpost " + std::to_string(desc.major) + "." +
                                        std::to_string(desc.minor) + " Type Library");
  EXPECT_EQ(ParseGuid(desc.libid), LIBID_VERDANPOSTLib);
  EXPECT_EQ(ParseGuid(desc.clsid), CLSID_SMTPMailer);
  EXPECT_EQ(ParseGuid(desc.iid), IID_ISMTPMailer);
  // The version block carries the project's version as CMake sets it.
  EXPECT_STREQ(VerdanpostGetVersionInfo()->file_version, "1, 0, 0, 1");
  EXPECT_STREQ(VerdanpostGetVersionInfo()->product_version, "1, 0, 0, 1");
  EXPECT_STREQ(VerdanpostLoadString(100), "Verdanpost");
  EXPECT_EQ(VerdanpostLoadString(101), nullptr);
}

}  // namespace
}  // namespace verdanpost
