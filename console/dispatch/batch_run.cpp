#include "console/dispatch/batch_run.h"

#include <QStringList>

#include "console/dispatch/operator_texts.h"

namespace verdanpost {

namespace {

BatchList Join(std::span<const QString> addresses, const QStringList& list_headers) {
  return BatchList{QStringList(addresses.begin(), addresses.end()).join(", "), list_headers};
}

}  // namespace

bool BatchRun::SendNext(QString* err) {
  QString why;
  if (!SendStoredMessage(mailer_, inputs_, Join(plan_.batch(next_), list_headers_), &why)) {
    *err = kNotHandedToMailer + why;
    return false;
  }
  MailerOutcome outcome;
  if (!ReadOutcome(mailer_, &outcome, &why)) {
    *err = kAnswerNotRead + why;
    return false;
  }
  ++next_;
  ++sent_;
  if (!outcome.ok()) {
    ++failed_;
    last_failure_ = FailureText(outcome);
  }
  last_outcome_ = outcome;
  return true;
}

}  // namespace verdanpost
