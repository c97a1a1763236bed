#ifndef VERDANPOST_CONSOLE_DISPATCH_REFUSALS_H_
#define VERDANPOST_CONSOLE_DISPATCH_REFUSALS_H_

#include <cstdint>
#include <span>
#include <vector>

#include <QString>

namespace verdanpost {

// One subscriber a message did not reach, with the code and the words that
// say why: the server's reply (its code first) or, without one, the
// mailer's own text.
struct Refusal {
  QString address;
  int32_t code = 0;
  QString reply;
};

// The mailer's RefusedRecipients: one "address<TAB>code<TAB>reply" line
// each. A line without two tabs is kept with code 0 and the rest as reply.
std::vector<Refusal> ParseRefusedRecipients(const QString& lines);

// Whether a failure with the mailer's ErrorCode `code` may go away by itself:
// a 4xx reply, or a connection that could not be made, was broken or timed
// out. Any other code (5xx, a refused address or setting) is final.
bool IsTemporary(int32_t code);

// What became of each subscriber of one message, in `batch` order (the
// order it was handed to the mailer): code 0 with no reply for one who got
// it, else their refusal from `refused` (RefusedRecipients, in the same
// order). Each refusal takes the next subscriber with its address, so a
// repeated address counts once per refusal.
std::vector<Refusal> AccountForBatch(std::span<const QString> batch,
                                     const std::vector<Refusal>& refused);

// The box's line naming refused subscribers: up to 5 with their reasons,
// then "and N more"; "" when there are none.
QString RefusedSubscribers(const std::vector<Refusal>& refused);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_REFUSALS_H_
