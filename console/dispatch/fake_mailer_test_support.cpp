#include "console/dispatch/fake_mailer_test_support.h"

namespace verdanpost::testing_support {

class ScriptedMailer : public MailerClient {
 public:
  explicit ScriptedMailer(ScriptedMailerFactory& factory) : factory_(factory) {}

  bool PutServerName(const QString& name, QString* err) override {
    return factory_.Record({"ServerName", name}, err);
  }
  bool PutIgnoreTo(bool ignore, QString* err) override {
    return factory_.Record({"IgnoreTo", ignore ? "-1" : "0"}, err);
  }
  bool SendMessage(const QString& from, const QString& to, const QString& cc, const QString& bcc,
                   const QString& subject, const QString& message, QString* err) override {
    return Send({"SendMessage", from, to, cc, bcc, subject, message}, err);
  }
  bool SendMessageFromFile(const QString& from, const QString& to, const QString& cc,
                           const QString& bcc, const QString& subject, const QString& file_name,
                           QString* err) override {
    return Send({"SendMessageFromFile", from, to, cc, bcc, subject, file_name}, err);
  }
  bool SendRawMessageFromFile(const QString& file_name, QString* err) override {
    return Send({"SendRawMessageFromFile", file_name}, err);
  }
  bool ErrorCode(int32_t* code, QString* err) override {
    if (!factory_.Record({"ErrorCode"}, err)) return false;
    *code = outcome_.code;
    return true;
  }
  bool ErrorMessage(QString* message, QString* err) override {
    if (!factory_.Record({"ErrorMessage"}, err)) return false;
    *message = outcome_.message;
    return true;
  }
  bool PutPartialDelivery(bool on, QString* err) override {
    return factory_.Record({"PartialDelivery", on ? "-1" : "0"}, err);
  }
  bool PutKeepConnection(bool on, QString* err) override {
    return factory_.Record({"KeepConnection", on ? "-1" : "0"}, err);
  }
  bool Disconnect(QString* err) override { return factory_.Record({"Disconnect"}, err); }
  bool PutExtraHeaders(const QString& lines, QString* err) override {
    return factory_.Record({"ExtraHeaders", lines}, err);
  }
  QString OptionalText(const char* property) override {
    const QLatin1String name(property);
    if (name == QLatin1String("ServerReply")) return outcome_.server_reply;
    if (name == QLatin1String("FailureReason")) return outcome_.failure_reason;
    if (name == QLatin1String("ServerAddress")) return outcome_.server_address;
    if (name == QLatin1String("RefusedRecipients")) return outcome_.refused;
    if (name == QLatin1String("RecipientLimit")) return outcome_.recipient_limit;
    return QString();
  }

 private:
  bool Send(const QStringList& call, QString* err) {
    if (!factory_.Record(call, err)) return false;
    if (factory_.on_send) factory_.on_send();
    outcome_ = ScriptedOutcome{};
    if (!factory_.outcomes.empty()) {
      outcome_ = factory_.outcomes.front();
      factory_.outcomes.pop_front();
    }
    return true;
  }

  ScriptedMailerFactory& factory_;
  ScriptedOutcome outcome_{-1};
};

std::unique_ptr<MailerClient> ScriptedMailerFactory::Create(QString* err) {
  if (!Record({"Create"}, err)) return nullptr;
  if (!create_error.isEmpty()) {
    *err = create_error;
    return nullptr;
  }
  return std::make_unique<ScriptedMailer>(*this);
}

bool ScriptedMailerFactory::Record(const QStringList& call, QString* err) {
  const QString& member = call.front();
  if (member != "ErrorCode" && member != "ErrorMessage") log_->append(call.join('|'));
  if (member == failing_member_ && ++calls_of_failing_member_ == failing_call_) {
    *err = "broken " + member;
    return false;
  }
  return true;
}

QStringList SentBccs(const QStringList& log) {
  QStringList bccs;
  for (const QString& call : log) {
    if (call.startsWith("SendMessage|")) bccs << call.split('|')[4];
  }
  return bccs;
}

}  // namespace verdanpost::testing_support
