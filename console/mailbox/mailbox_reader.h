#ifndef VERDANPOST_CONSOLE_MAILBOX_MAILBOX_READER_H_
#define VERDANPOST_CONSOLE_MAILBOX_MAILBOX_READER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace verdanpost::mailbox {

// The keyword that marks a message as handled on the server.
inline constexpr char kHandledKeyword[] = "$VerdanpostHandled";

// The messages of one mailbox folder, by UID. Abstract so the check can be
// tested without a server; ImapMailbox is the real one. Each call returns
// false with *err, a text for the operator, when the server could not be
// reached or refused.
class MailboxReader {
 public:
  virtual ~MailboxReader() = default;

  // The UIDs of the messages without kHandledKeyword, in increasing order,
  // and those of them that the owner has not seen yet.
  virtual bool ListUnhandled(std::vector<uint32_t>* uids, std::vector<uint32_t>* unseen,
                             std::string* err) = 0;
  // Hands each message of `uids`, whole as the server holds it, to `each`,
  // in any order, until `each` returns false (then true is returned); a
  // few more that were already on their way may still follow.
  using EachMessage = std::function<bool(uint32_t uid, const std::string& message)>;
  virtual bool FetchEach(const std::vector<uint32_t>& uids, const EachMessage& each,
                         std::string* err) = 0;
  // Flags `uids` with kHandledKeyword and leaves those of `unseen` unseen,
  // as they were before they were read.
  virtual bool MarkHandled(const std::vector<uint32_t>& uids, const std::vector<uint32_t>& unseen,
                           std::string* err) = 0;
};

// "1:3,7,9:10" for the UIDs 1 2 3 7 9 10, in increasing order.
std::string UidSet(std::vector<uint32_t> uids);

}  // namespace verdanpost::mailbox

#endif  // VERDANPOST_CONSOLE_MAILBOX_MAILBOX_READER_H_
