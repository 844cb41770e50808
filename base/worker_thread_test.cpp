#include "base/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace pelmar {
namespace {

// Yields until `done` or a generous deadline; the result tells which.
template <typename Pred>
bool Eventually(Pred done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

// A body in the usual shape: pauses on the token until it is stopped.
uint32_t PauseUntilStopped(CStopToken& stop, std::atomic<int>* rounds) {
  while (stop.WaitFor(5)) ++*rounds;
  return 7;
}

TEST(WorkerThread, RunsTheBodyAndKeepsItsExitCode) {
  CWorkerThread worker;
  EXPECT_FALSE(worker.Running());
  EXPECT_FALSE(worker.HasThread());
  ASSERT_TRUE(worker.Start([](CStopToken&) { return 42u; }));
  EXPECT_TRUE(worker.HasThread());
  worker.Join();
  EXPECT_FALSE(worker.Running());
  EXPECT_FALSE(worker.HasThread());
  EXPECT_EQ(worker.ExitCode(), 42u);
}

TEST(WorkerThread, AStopWakesTheBodysPauseAndJoinReturns) {
  CWorkerThread worker;
  std::atomic<bool> entered{false};
  ASSERT_TRUE(worker.Start([&](CStopToken& stop) {
    entered = true;
    return stop.WaitFor(CStopToken::kForever) ? 1u : 2u;
  }));
  ASSERT_TRUE(Eventually([&] { return entered.load(); }));
  EXPECT_TRUE(worker.Running());
  worker.RequestStop();
  worker.Join();
  EXPECT_EQ(worker.ExitCode(), 2u);  // the pause said "stopped"
}

TEST(WorkerThread, DestructionStopsAndWaitsForTheBody) {
  std::atomic<int> rounds{0};
  std::atomic<bool> returned{false};
  {
    CWorkerThread worker;
    ASSERT_TRUE(worker.Start([&](CStopToken& stop) {
      const uint32_t code = PauseUntilStopped(stop, &rounds);
      returned = true;
      return code;
    }));
    ASSERT_TRUE(Eventually([&] { return rounds.load() > 0; }));
  }
  EXPECT_TRUE(returned.load());
}

// One owner runs one thread at a time; after a join it may run again, with a
// token the last stop did not raise.
TEST(WorkerThread, RestartsAfterAJoinWithAFreshToken) {
  CWorkerThread worker;
  std::atomic<int> rounds{0};
  ASSERT_TRUE(worker.Start([&](CStopToken& stop) { return PauseUntilStopped(stop, &rounds); }));
  EXPECT_FALSE(worker.Start([](CStopToken&) { return 0u; }));  // still owned
  worker.RequestStop();
  worker.Join();
  EXPECT_EQ(worker.ExitCode(), 7u);

  std::atomic<bool> stoppedAtStart{true};
  ASSERT_TRUE(worker.Start([&](CStopToken& stop) {
    stoppedAtStart = stop.StopRequested();
    return 9u;
  }));
  worker.Join();
  EXPECT_FALSE(stoppedAtStart.load());
  EXPECT_EQ(worker.ExitCode(), 9u);
}

TEST(WorkerThread, AnEscapingExceptionEndsTheBodyWithItsOwnCode) {
  CWorkerThread worker;
  ASSERT_TRUE(worker.Start([](CStopToken&) -> uint32_t { throw std::runtime_error("lost"); }));
  worker.Join();
  EXPECT_EQ(worker.ExitCode(), CWorkerThread::kEscapedExitCode);
  EXPECT_FALSE(worker.Running());
}

TEST(WorkerThread, AThreadThatCannotBeMadeSaysSoAndTheNextOneRuns) {
  CWorkerThread::RefuseCreationsForTesting(1);
  CWorkerThread refused;
  std::atomic<int> runs{0};
  EXPECT_FALSE(refused.Start([&](CStopToken&) { return static_cast<uint32_t>(++runs); }));
  EXPECT_FALSE(refused.HasThread());
  EXPECT_FALSE(refused.Running());
  refused.RequestStop();  // harmless without a thread
  refused.Join();
  ASSERT_TRUE(refused.Start([&](CStopToken&) { return static_cast<uint32_t>(++runs); }));
  refused.Join();
  EXPECT_EQ(runs.load(), 1);
}

// Stops from other threads race the owner's start and join; under the thread
// sanitizer this shows any unguarded handover of the token.
TEST(WorkerThread, StopsFromOtherThreadsRaceStartsAndJoins) {
  CWorkerThread worker;
  std::atomic<bool> done{false};
  std::thread stopper([&] {
    while (!done) {
      worker.RequestStop();
      std::this_thread::yield();
    }
  });
  for (int i = 0; i < 200; ++i) {
    std::atomic<int> rounds{0};
    ASSERT_TRUE(worker.Start([&](CStopToken& stop) { return PauseUntilStopped(stop, &rounds); }));
    worker.Join();  // ends because the other thread keeps stopping it
    EXPECT_EQ(worker.ExitCode(), 7u);
  }
  done = true;
  stopper.join();
}

}  // namespace
}  // namespace pelmar
