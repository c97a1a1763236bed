#include "console/dispatch/send_pacer.h"

#include <algorithm>
#include <utility>

#include <QLocale>

namespace verdanpost {

namespace {

constexpr int64_t kDay = 24 * 60 * 60;

QString Count(int64_t n) {
  return QLocale(QLocale::English, QLocale::UnitedStates).toString(static_cast<qlonglong>(n));
}

}  // namespace

ServerLimits ServerSendLimits(const QString& server_name) {
  ServerSettings settings;
  if (!ReadServerSettings(ServerSettingsPath(), server_name.toStdString(), &settings).ok()) {
    return {};
  }
  return settings.limits;
}

SendPacer::SendPacer(ServerLimits limits, std::vector<SentMessage> history)
    : limits_(limits), history_(std::move(history)) {
  std::stable_sort(history_.begin(), history_.end(),
                   [](const SentMessage& a, const SentMessage& b) { return a.at < b.at; });
}

void SendPacer::Sent(const QDateTime& at, int64_t recipients) {
  // Usually the newest; a clock set back still sorts it in.
  const auto place = std::upper_bound(
      history_.begin(), history_.end(), at,
      [](const QDateTime& time, const SentMessage& message) { return time < message.at; });
  history_.insert(place, SentMessage{at, recipients});
  // What left the day counts no more.
  const QDateTime day_ago = history_.back().at.addSecs(-kDay);
  const auto kept = std::find_if(history_.begin(), history_.end(),
                                 [&day_ago](const SentMessage& m) { return m.at > day_ago; });
  history_.erase(history_.begin(), kept);
}

QDateTime SendPacer::FreeFrom(const QDateTime& t, int64_t allowed, int64_t seconds) const {
  if (allowed <= 0) return t;
  const QDateTime window_start = t.addSecs(-seconds);
  std::vector<QDateTime> within;
  for (const SentMessage& m : history_) {
    if (m.at > window_start && m.at <= t) within.push_back(m.at);
  }
  const auto count = static_cast<int64_t>(within.size());
  if (count < allowed) return t;
  // Once the oldest (count - allowed + 1) have left the window, one more
  // fits; a second more, since the server times its messages a little later
  // than we do.
  return within[static_cast<size_t>(count - allowed)].addSecs(seconds + 1);
}

SendPacer::Slot SendPacer::Next(const QDateTime& now, int64_t wanted) const {
  Slot slot{now, wanted, QString()};
  if (limits_.recipients_per_day > 0) {
    const QDateTime day_ago = now.addSecs(-kDay);
    int64_t used = 0;
    for (const SentMessage& m : history_) {
      if (m.at > day_ago) used += m.recipients;
    }
    const int64_t left = limits_.recipients_per_day - used;
    if (left <= 0) {
      // The day is full until enough of its oldest recipients count no more.
      for (const SentMessage& m : history_) {
        if (m.at <= day_ago) continue;
        used -= m.recipients;
        if (used < limits_.recipients_per_day) {
          slot.at = std::max(now, m.at.addSecs(kDay));
          break;
        }
      }
      slot.recipients = 0;
      slot.reason = QStringLiteral("the server allows %1 recipients a day")
                        .arg(Count(limits_.recipients_per_day));
      return slot;
    }
    if (left < wanted) {
      slot.recipients = left;
      slot.reason = QStringLiteral("the server allows %1 recipients a day")
                        .arg(Count(limits_.recipients_per_day));
    }
  }
  for (QDateTime t = now;;) {
    const QDateTime minute = FreeFrom(t, limits_.messages_per_minute, 60);
    const QDateTime hour = FreeFrom(minute, limits_.messages_per_hour, 60 * 60);
    if (minute > t) {
      slot.reason = QStringLiteral("the server allows %1 messages a minute")
                        .arg(Count(limits_.messages_per_minute));
    }
    if (hour > minute) {
      slot.reason = QStringLiteral("the server allows %1 messages an hour")
                        .arg(Count(limits_.messages_per_hour));
    }
    if (hour == t) break;
    t = hour;
    slot.at = t;
  }
  return slot;
}

QString PacingUntil(const QDateTime& until, const QString& reason) {
  return QStringLiteral("Waiting until %1: %2.")
      .arg(until.toString(QStringLiteral("HH:mm:ss")), reason);
}

}  // namespace verdanpost
