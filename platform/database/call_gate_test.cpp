#include "platform/database/call_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace verdanpost::database {
namespace {

using Ending = CallGate::Ending;

// A call that waits until the test lets it go, as a call to a stopped
// server waits; what it and the cleanups after it did, in order.
struct Stuck {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::shared_ptr<std::vector<std::string>> done = std::make_shared<std::vector<std::string>>();
  std::promise<void> cleaned;
};

TEST(CallGateTest, ACallThatOutlivesItsWaitBreaksTheGateAndRunsItsCleanupsAfter) {
  Stuck stuck;
  auto gate = std::make_unique<CallGate>(std::chrono::seconds(1));
  EXPECT_EQ(Ending::kDone, gate->Run([done = stuck.done] { done->push_back("quick"); }));
  EXPECT_FALSE(gate->broken());
  // Not broken: a cleanup runs at once.
  gate->Defer([done = stuck.done] { done->push_back("at once"); });

  EXPECT_EQ(Ending::kTimedOut, gate->Run([done = stuck.done, released = stuck.released] {
    released.wait();
    done->push_back("stuck call returned");
  }));
  EXPECT_TRUE(gate->broken());
  // Refused at once, without running.
  EXPECT_EQ(Ending::kTimedOut, gate->Run([done = stuck.done] { done->push_back("refused"); }));
  gate->Defer([done = stuck.done] { done->push_back("cleanup"); });
  gate->Defer([done = stuck.done, &stuck] {
    done->push_back("last cleanup");
    stuck.cleaned.set_value();
  });
  // The gate may go before its thread has finished.
  gate.reset();
  stuck.release.set_value();
  stuck.cleaned.get_future().wait();
  EXPECT_EQ((std::vector<std::string>{"quick", "at once", "stuck call returned", "cleanup",
                                      "last cleanup"}),
            *stuck.done);
}

TEST(CallGateTest, CancelEndsAWaitWithoutALimitFromAnyThread) {
  {
    Stuck stuck;
    CallGate gate;
    std::thread cancel([&gate] { gate.Cancel(); });
    EXPECT_EQ(Ending::kCancelled, gate.Run([released = stuck.released] { released.wait(); }));
    cancel.join();
    EXPECT_EQ(Ending::kCancelled, gate.Run([] {}));
    stuck.release.set_value();
  }
  {
    // A cancel learned by asking.
    Stuck stuck;
    CallGate gate;
    std::atomic<bool> pressed{false};
    gate.set_cancel_check([&pressed] { return pressed.load(); });
    std::thread press([&pressed] { pressed = true; });
    EXPECT_EQ(Ending::kCancelled, gate.Run([released = stuck.released] { released.wait(); }));
    press.join();
    stuck.release.set_value();
  }
}

}  // namespace
}  // namespace verdanpost::database
