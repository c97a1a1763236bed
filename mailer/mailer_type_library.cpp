// The type library VERDANPOSTLib, the version block and the string table
// that libverdanpost.so carries.

#include "mailer/ismtp_mailer.h"
#include "mailer/module_resources.h"
#include "mailer/server_module.h"
#include "platform/automation/guid.h"

namespace verdanpost {
namespace {

constexpr auto kLibId = GuidText(LIBID_VERDANPOSTLib);
constexpr auto kClsId = GuidText(CLSID_SMTPMailer);
constexpr auto kIid = GuidText(IID_ISMTPMailer);

constexpr AutomationParamDesc kFileName[] = {{"FileName", VT_BSTR}};
constexpr AutomationParamDesc kSendFromFile[] = {{"From", VT_BSTR},    {"To", VT_BSTR},
                                                 {"Cc", VT_BSTR},      {"Bcc", VT_BSTR},
                                                 {"Subject", VT_BSTR}, {"FileName", VT_BSTR}};
constexpr AutomationParamDesc kSend[] = {{"From", VT_BSTR},    {"To", VT_BSTR},
                                         {"Cc", VT_BSTR},      {"Bcc", VT_BSTR},
                                         {"Subject", VT_BSTR}, {"Message", VT_BSTR}};
constexpr AutomationParamDesc kMessage[] = {{"Message", VT_BSTR}};
constexpr AutomationParamDesc kLongOut[] = {{"pVal", VT_I4}};
constexpr AutomationParamDesc kLongIn[] = {{nullptr, VT_I4}};
constexpr AutomationParamDesc kStringOut[] = {{"pVal", VT_BSTR}};
constexpr AutomationParamDesc kStringIn[] = {{nullptr, VT_BSTR}};

// Slots follow ISMTPMailer's declaration (ismtp_mailer.h).
constexpr AutomationMemberDesc kMembers[] = {
    {1, kAutomationMethod, "SendRawMessageFromFile", "Sends a raw message from a file using SMTP",
     7, 1, kFileName},
    {2, kAutomationMethod, "SendMessageFromFile", "method SendMessageFromFile", 8, 6,
     kSendFromFile},
    {3, kAutomationMethod, "SendMessage", "method SendMessage", 9, 6, kSend},
    {4, kAutomationPropertyGet, "IgnoreTo", "property IgnoreTo", 10, 1, kLongOut},
    {4, kAutomationPropertyPut, "IgnoreTo", "property IgnoreTo", 11, 1, kLongIn},
    {5, kAutomationMethod, "SendRawMessage", "method SendRawMessage", 12, 1, kMessage},
    {6, kAutomationPropertyGet, "ErrorCode", "property ErrorCode", 13, 1, kLongOut},
    {7, kAutomationPropertyGet, "ErrorMessage", "property ErrorMessage", 14, 1, kStringOut},
    {8, kAutomationPropertyGet, "ServerName", "property ServerName", 15, 1, kStringOut},
    {8, kAutomationPropertyPut, "ServerName", "property ServerName", 16, 1, kStringIn},
    {9, kAutomationPropertyGet, "ServerReply", "property ServerReply", 17, 1, kStringOut},
    {10, kAutomationPropertyGet, "PartialDelivery", "property PartialDelivery", 18, 1, kLongOut},
    {10, kAutomationPropertyPut, "PartialDelivery", "property PartialDelivery", 19, 1, kLongIn},
    {11, kAutomationPropertyGet, "RefusedRecipients", "property RefusedRecipients", 20, 1,
     kStringOut},
    {12, kAutomationPropertyGet, "KeepConnection", "property KeepConnection", 21, 1, kLongOut},
    {12, kAutomationPropertyPut, "KeepConnection", "property KeepConnection", 22, 1, kLongIn},
    {13, kAutomationMethod, "Disconnect", "method Disconnect", 23, 0, nullptr},
    {14, kAutomationPropertyGet, "ServerAddress", "property ServerAddress", 24, 1, kStringOut},
    {15, kAutomationPropertyGet, "FailureReason", "property FailureReason", 25, 1, kStringOut},
    {16, kAutomationPropertyGet, "ExtraHeaders", "property ExtraHeaders", 26, 1, kStringOut},
    {16, kAutomationPropertyPut, "ExtraHeaders", "property ExtraHeaders", 27, 1, kStringIn},
    {17, kAutomationPropertyGet, "RecipientLimit", "property RecipientLimit", 28, 1, kLongOut},
};

constexpr AutomationTypeLibraryDesc kTypeLibrary = {
    "VERDANPOSTLib",
    "Verdanpost 1.0 Type Library",
    kLibId.data(),
    kMailerTypeLibraryMajor,
    kMailerTypeLibraryMinor,
    "SMTPMailer",
    "SMTPMailer Class",
    kClsId.data(),
    "ISMTPMailer",
    "ISMTPMailer Interface",
    kIid.data(),
    static_cast<int32_t>(sizeof kMembers / sizeof kMembers[0]),
    kMembers,
};

// VERDANPOST_FILE_VERSION is the project's version from CMake, as "1, 0, 0, 1".
constexpr VerdanpostVersionInfo kVersionInfo = {VERDANPOST_FILE_VERSION, VERDANPOST_FILE_VERSION,
                                                "Verdanpost Module", "Verdanpost Module", ""};

}  // namespace

const AutomationTypeLibraryDesc& MailerTypeLibrary() { return kTypeLibrary; }

}  // namespace verdanpost

extern "C" {

const AutomationTypeLibraryDesc* AutomationGetTypeLibrary() { return &verdanpost::kTypeLibrary; }

const VerdanpostVersionInfo* VerdanpostGetVersionInfo() { return &verdanpost::kVersionInfo; }

const char* VerdanpostLoadString(uint32_t id) { return id == 100 ? "Verdanpost" : nullptr; }
}
