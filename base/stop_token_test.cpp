#include "base/stop_token.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace pelmar {
namespace {

using Clock = std::chrono::steady_clock;

TEST(StopToken, APauseWithoutAStopRunsToItsEnd) {
  CStopToken stop;
  const auto began = Clock::now();
  EXPECT_TRUE(stop.WaitFor(20));
  EXPECT_GE(Clock::now() - began, std::chrono::milliseconds(20));
  EXPECT_FALSE(stop.StopRequested());
}

TEST(StopToken, AStopRaisedBeforeTheWaitEndsItAtOnceAndStaysRaised) {
  CStopToken stop;
  stop.RequestStop();
  for (const uint32_t ms : {0u, 1u, 60000u, CStopToken::kForever}) {
    SCOPED_TRACE(ms);
    EXPECT_FALSE(stop.WaitFor(ms));  // a forever wait here would hang the suite
    EXPECT_TRUE(stop.StopRequested());
  }
}

// Every waiter, timed or not, wakes on one stop from another thread.
TEST(StopToken, AStopFromAnotherThreadWakesEveryWaiter) {
  CStopToken stop;
  std::atomic<int> woken{0};
  std::atomic<int> results{0};
  std::thread forever([&] {
    results += stop.WaitFor(CStopToken::kForever) ? 100 : 1;
    ++woken;
  });
  std::thread long_pause([&] {
    results += stop.WaitFor(600000) ? 100 : 1;
    ++woken;
  });
  stop.RequestStop();
  forever.join();
  long_pause.join();
  EXPECT_EQ(woken.load(), 2);
  EXPECT_EQ(results.load(), 2);  // both report the stop, neither a full pause
}

}  // namespace
}  // namespace pelmar
