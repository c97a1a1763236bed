#include "console/dispatch/mailer_client.h"

#include <string>
#include <utility>
#include <vector>

#include "console/dispatch/operator_texts.h"
#include "platform/automation/automation_object.h"
#include "platform/automation/variant.h"

namespace verdanpost {

namespace {

// The QString's UTF-16 units go straight into the BSTR, with no UTF-8 on the way.
Variant Text(const QString& text) {
  return Variant(Bstr(std::u16string_view(QStringView(text).utf16(), text.size())));
}

// The arguments of a call, each converted once: an initializer list of
// Variants would copy every one, which matters for a long message text.
template <typename... Texts>
std::vector<Variant> Arguments(const Texts&... texts) {
  std::vector<Variant> args;
  args.reserve(sizeof...(texts));
  (args.push_back(Text(texts)), ...);
  return args;
}

// The mailer reached through IDispatch by member name.
class LateBoundMailer : public MailerClient {
 public:
  explicit LateBoundMailer(AutomationObject object) : object_(std::move(object)) {}

  bool PutServerName(const QString& name, QString* err) override {
    return Check(object_.Put("ServerName", Text(name)), err);
  }
  bool PutIgnoreTo(bool ignore, QString* err) override {
    // As a 32-bit integer: True is -1, False 0.
    return Check(object_.Put("IgnoreTo", Variant(int32_t{ignore ? -1 : 0})), err);
  }
  bool SendMessage(const QString& from, const QString& to, const QString& cc, const QString& bcc,
                   const QString& subject, const QString& message, QString* err) override {
    return Check(object_.Call("SendMessage", Arguments(from, to, cc, bcc, subject, message)), err);
  }
  bool SendMessageFromFile(const QString& from, const QString& to, const QString& cc,
                           const QString& bcc, const QString& subject, const QString& file_name,
                           QString* err) override {
    return Check(
        object_.Call("SendMessageFromFile", Arguments(from, to, cc, bcc, subject, file_name)), err);
  }
  bool SendRawMessageFromFile(const QString& file_name, QString* err) override {
    return Check(object_.Call("SendRawMessageFromFile", Arguments(file_name)), err);
  }
  bool ErrorCode(int32_t* code, QString* err) override {
    AutomationResult result = object_.Get("ErrorCode");
    if (!Check(result, err)) return false;
    Variant value;
    if (Failed(VariantChangeType(value.Receive(), &result.value().get(), 0, VT_I4))) {
      *err = kErrorCodeNotInteger;
      return false;
    }
    *code = value.get().lVal;
    return true;
  }
  bool ErrorMessage(QString* message, QString* err) override {
    AutomationResult result = object_.Get("ErrorMessage");
    if (!Check(result, err)) return false;
    *message = QString::fromStdString(result.value().ToString());
    return true;
  }
  QString OptionalText(const char* property) override {
    AutomationResult result = object_.Get(property);
    return result.ok() ? QString::fromStdString(result.value().ToString()) : QString();
  }
  bool PutKeepConnection(bool keep, QString* err) override {
    return Check(object_.Put("KeepConnection", Variant(keep)), err);
  }
  bool Disconnect(QString* err) override { return Check(object_.Call("Disconnect"), err); }
  bool PutPartialDelivery(bool on, QString* err) override {
    return Check(object_.Put("PartialDelivery", Variant(int32_t{on ? -1 : 0})), err);
  }
  bool PutExtraHeaders(const QString& lines, QString* err) override {
    return Check(object_.Put("ExtraHeaders", Text(lines)), err);
  }

 private:
  static bool Check(const AutomationResult& result, QString* err) {
    if (result.ok()) return true;
    *err = QString::fromStdString(result.error());
    return false;
  }

  bool GetText(const char* member, QString* text, QString* err) {
    AutomationResult result = object_.Get(member);
    if (!Check(result, err)) return false;
    *text = QString::fromStdString(result.value().ToString());
    return true;
  }

  AutomationObject object_;
};

}  // namespace

std::unique_ptr<MailerClient> ProgIdMailerFactory::Create(QString* err) {
  std::string error;
  AutomationObject object = AutomationObject::Create(kMailerProgId, &error);
  if (!object.valid()) {
    *err = QString::fromStdString(error);
    return nullptr;
  }
  return std::make_unique<LateBoundMailer>(std::move(object));
}

}  // namespace verdanpost
