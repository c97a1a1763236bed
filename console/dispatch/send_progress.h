#ifndef VERDANPOST_CONSOLE_DISPATCH_SEND_PROGRESS_H_
#define VERDANPOST_CONSOLE_DISPATCH_SEND_PROGRESS_H_

#include <cstdint>
#include <functional>

#include <QString>

namespace verdanpost {

// What a bulk send tells the operator while it runs, and how it learns that
// the operator wants it stopped. Called from the thread that sends, not the
// window's; implementations are thread-safe.
class SendProgress {
 public:
  virtual ~SendProgress() = default;

  // Message `number` (from 1) of `messages` goes out now; `reached`
  // subscribers have had the message so far.
  virtual void MessageStarting(int number, int messages, int64_t reached) = 0;
  // Whether the operator asked to stop; asked between messages, never
  // while one is on the wire.
  virtual bool CancelRequested() = 0;
  // The send waits before it tries again; `text` says until when and why.
  // The next MessageStarting ends the wait.
  virtual void Waiting(const QString& /*text*/) {}
};

// A send to run with a SendProgress, off the window's thread.
using ProgressingSend = std::function<void(SendProgress&)>;

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_SEND_PROGRESS_H_
