#ifndef VERDANPOST_PLATFORM_DATABASE_CALL_GATE_H_
#define VERDANPOST_PLATFORM_DATABASE_CALL_GATE_H_

#include <chrono>
#include <functional>
#include <memory>
#include <utility>

namespace verdanpost::database {

// Runs the calls of one connection that wait for the database (logging in,
// executing a statement) on a thread of its own, so that the caller waits
// no longer than the connection's time limit, or until someone cancels. A
// driver may ignore its time-out attributes: the PostgreSQL driver's query
// time-out is the server's, so a server that is stopped, not gone, keeps a
// call waiting for as long as it is stopped, and no cancel reaches it.
//
// A call the caller stopped waiting for breaks the gate: it may still be
// running, with the handles it was given, until the database answers. From
// then on Run() refuses every call at once, and what must not happen before
// the call is over (freeing its handles, rolling back, disconnecting) is
// handed to Defer(), which runs it on the gate's thread after that call.
// The thread outlives the gate until then; it holds nothing of the caller.
class CallGate {
 public:
  // With |limit| zero, calls wait for as long as they take (but Cancel()
  // still ends the wait).
  explicit CallGate(std::chrono::milliseconds limit = std::chrono::milliseconds(0));
  CallGate(const CallGate&) = delete;
  CallGate& operator=(const CallGate&) = delete;
  ~CallGate();

  enum class Ending { kDone, kTimedOut, kCancelled };

  // Runs |call| on the gate's thread and waits until it returns, the limit
  // passes or Cancel() is called. |call| must own, or share, everything it
  // touches but the handles: when the wait ends first, the caller's frames
  // are gone by the time it returns. A broken gate gives kTimedOut or
  // kCancelled, as the break did, without running |call|.
  Ending Run(std::function<void()> call);

  bool broken() const;
  // Runs |cleanup| at once when the gate is not broken; else on the gate's
  // thread once the call that broke it has returned.
  void Defer(std::function<void()> cleanup);

  // Ends the wait of the call running now, if any, and of every later one.
  // May be called from any thread.
  void Cancel();
  // |cancelled| is asked while a call is waited for, a few times a second,
  // and true ends the wait as Cancel() does: for a caller that learns of a
  // cancel by asking (a bulk send's progress dialog). Set before Run().
  void set_cancel_check(std::function<bool()> cancelled) { cancel_check_ = std::move(cancelled); }

  std::chrono::milliseconds limit() const { return limit_; }

 private:
  struct State;

  std::chrono::milliseconds limit_;
  std::function<bool()> cancel_check_;
  std::shared_ptr<State> state_;
};

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_CALL_GATE_H_
