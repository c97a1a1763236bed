#include "platform/database/call_gate.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace verdanpost::database {

struct CallGate::State {
  std::mutex mutex;
  std::condition_variable work;  // the gate's thread waits for a call
  std::condition_variable done;  // the caller waits for its call
  std::deque<std::function<void()>> calls;
  uint64_t queued = 0;
  uint64_t finished = 0;
  bool thread_started = false;
  bool closing = false;  // the gate is gone: end once the calls are run
  bool cancelled = false;
  bool broken = false;
  Ending broken_as = Ending::kDone;
};

CallGate::CallGate(std::chrono::milliseconds limit)
    : limit_(limit), state_(std::make_shared<State>()) {}

CallGate::~CallGate() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->closing = true;
  state_->work.notify_all();
}

CallGate::Ending CallGate::Run(std::function<void()> call) {
  State& state = *state_;
  std::unique_lock<std::mutex> lock(state.mutex);
  if (state.broken) return state.broken_as;
  if (state.cancelled) {
    state.broken = true;
    state.broken_as = Ending::kCancelled;
    return Ending::kCancelled;
  }
  if (!state.thread_started) {
    // The thread shares the state, so it may outlive the gate while a call
    // that broke it is still waiting for the database.
    std::thread thread;
    try {
      thread = std::thread([state = state_] {
        std::unique_lock<std::mutex> held(state->mutex);
        for (;;) {
          state->work.wait(held, [&] { return !state->calls.empty() || state->closing; });
          if (state->calls.empty()) return;
          std::function<void()> next = std::move(state->calls.front());
          state->calls.pop_front();
          held.unlock();
          next();
          next = nullptr;
          held.lock();
          ++state->finished;
          state->done.notify_all();
        }
      });
    } catch (const std::system_error&) {
      // No thread to be had: the call runs here, without a limit.
      lock.unlock();
      call();
      return Ending::kDone;
    }
    thread.detach();
    state.thread_started = true;
  }
  state.calls.push_back(std::move(call));
  const uint64_t ticket = ++state.queued;
  state.work.notify_one();
  auto over = [&] { return state.finished >= ticket || state.cancelled; };
  // Without a cancel check, one wait; with one, waits of a slice each,
  // asking in between.
  constexpr std::chrono::milliseconds kSlice(50);
  const auto deadline = std::chrono::steady_clock::now() + limit_;
  bool ended = false;
  for (;;) {
    auto until = std::chrono::steady_clock::time_point::max();
    if (limit_.count() > 0) until = deadline;
    if (cancel_check_) until = std::min(until, std::chrono::steady_clock::now() + kSlice);
    if (until == std::chrono::steady_clock::time_point::max()) {
      state.done.wait(lock, over);
      ended = true;
    } else {
      ended = state.done.wait_until(lock, until, over);
    }
    if (ended) break;
    if (cancel_check_ && cancel_check_()) {
      state.cancelled = true;
      ended = true;
      break;
    }
    if (limit_.count() > 0 && std::chrono::steady_clock::now() >= deadline) break;
  }
  if (state.finished >= ticket) return Ending::kDone;
  state.broken = true;
  state.broken_as = ended ? Ending::kCancelled : Ending::kTimedOut;
  return state.broken_as;
}

bool CallGate::broken() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->broken;
}

void CallGate::Defer(std::function<void()> cleanup) {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->broken) {
      state_->calls.push_back(std::move(cleanup));
      ++state_->queued;
      state_->work.notify_one();
      return;
    }
  }
  cleanup();
}

void CallGate::Cancel() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->cancelled = true;
  state_->done.notify_all();
}

}  // namespace verdanpost::database
