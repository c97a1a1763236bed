#include "console/dispatch/refusals.h"

#include <QStringList>

namespace verdanpost {

std::vector<Refusal> ParseRefusedRecipients(const QString& lines) {
  std::vector<Refusal> refused;
  for (const QString& line : lines.split('\n', Qt::SkipEmptyParts)) {
    const QStringList fields = line.split('\t');
    if (fields.size() < 3) {
      refused.push_back({fields.front(), 0, fields.mid(1).join(' ')});
      continue;
    }
    refused.push_back({fields[0], fields[1].toInt(), fields.mid(2).join(' ')});
  }
  return refused;
}

bool IsTemporary(int32_t code) {
  switch (code) {
    case 5:   // the connection would block
    case 6:   // could not connect
    case 7:   // HELO not sent
    case 8:   // DATA not sent
    case 10:  // content not written
    case 11:  // end of data not written
      return true;
    default:
      return code >= 400 && code < 500;
  }
}

std::vector<Refusal> AccountForBatch(std::span<const QString> batch,
                                     const std::vector<Refusal>& refused) {
  std::vector<Refusal> account;
  std::vector<bool> taken(refused.size(), false);
  for (const QString& address : batch) {
    Refusal entry{address, 0, QString()};
    for (size_t i = 0; i < refused.size(); ++i) {
      if (taken[i] || refused[i].address.compare(address, Qt::CaseInsensitive) != 0) continue;
      taken[i] = true;
      entry.code = refused[i].code;
      entry.reply = refused[i].reply;
      break;
    }
    account.push_back(entry);
  }
  return account;
}

QString RefusedSubscribers(const std::vector<Refusal>& refused) {
  if (refused.empty()) return {};
  constexpr size_t kNamed = 5;
  QStringList named;
  for (size_t i = 0; i < refused.size() && i < kNamed; ++i)
    named << QString("%1 (%2)").arg(refused[i].address, refused[i].reply);
  QString text =
      refused.size() == 1
          ? QString("1 subscriber was refused: ")
          : QString("%1 subscribers were refused: ").arg(QString::number(refused.size()));
  text += named.join(", ");
  if (refused.size() > kNamed)
    text += QString(" and %1 more").arg(QString::number(refused.size() - kNamed));
  return text;
}

}  // namespace verdanpost
