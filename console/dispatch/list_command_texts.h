#ifndef VERDANPOST_CONSOLE_DISPATCH_LIST_COMMAND_TEXTS_H_
#define VERDANPOST_CONSOLE_DISPATCH_LIST_COMMAND_TEXTS_H_

// The texts of the Import..., Export... and Subscribers... commands. The
// import's counts are the command line's (mailinglist::ImportSummary).

#include <QString>

namespace verdanpost {

inline QString RemoveOneQuestion(const QString& email) {
  return QString("Remove %1 from the list and send the farewell?").arg(email);
}
inline QString RemoveManyQuestion(const QString& count) {
  return QString("Remove %1 subscribers from the list and send each of them the farewell?")
      .arg(count);
}

inline constexpr char kNoGreeting[] = "No greeting can be sent, so nobody was added: ";

inline QString Exported(const QString& count, bool one, bool removed, const QString& path) {
  return QString("%1 %2 exported to \"%3\".")
      .arg(count, removed ? (one ? "removal" : "removals") : (one ? "subscriber" : "subscribers"),
           path);
}

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_LIST_COMMAND_TEXTS_H_
