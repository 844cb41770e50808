#include "base/pelmar_based_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace pelmar {
namespace {

// A worker in the shape every derived thread takes: members first, Release
// last; the destructor raises the stop flag and joins before members go.
class CountingThread : public CPelmarBasedThread {
 public:
  enum class Start { kRelease, kNever };
  CountingThread(Start start, bool throws = false) : throws_(throws) {
    if (start == Start::kRelease) Release();
  }
  ~CountingThread() override {
    stop_ = true;
    Join();
  }
  std::atomic<int> runs{0};
  std::atomic<bool> stop_{false};

 protected:
  uint32_t Run() override {
    ++runs;
    if (throws_) throw std::runtime_error("worker failure");
    while (!stop_) std::this_thread::yield();
    return 7;
  }

 private:
  const bool throws_;
};

TEST(PelmarBasedThread, NeverReleasedThreadEndsWithoutRun) {
  auto* t = new CountingThread(CountingThread::Start::kNever);
  EXPECT_TRUE(t->IsStartPending());
  EXPECT_TRUE(t->IsRunning());
  delete t;  // must not hang and must not call Run
}

TEST(PelmarBasedThread, ReleasedThreadRunsUntilStoppedAndKeepsItsExitCode) {
  CountingThread t(CountingThread::Start::kRelease);
  EXPECT_FALSE(t.IsStartPending());
  while (t.runs == 0) std::this_thread::yield();
  EXPECT_TRUE(t.IsRunning());
  t.stop_ = true;
  while (t.IsRunning()) std::this_thread::yield();
  EXPECT_EQ(t.ExitCode(), 7u);
  EXPECT_EQ(t.runs, 1);
}

TEST(PelmarBasedThread, ExceptionInRunEndsTheThreadWithMinusOne) {
  CountingThread t(CountingThread::Start::kRelease, /*throws=*/true);
  while (t.IsRunning()) std::this_thread::yield();
  EXPECT_EQ(t.ExitCode(), 0xFFFFFFFFu);
}

TEST(PelmarBasedThread, ManyShortLivedThreads) {
  for (int i = 0; i < 50; ++i) {
    CountingThread t(i % 2 ? CountingThread::Start::kRelease : CountingThread::Start::kNever);
    t.stop_ = true;
  }
}

}  // namespace
}  // namespace pelmar
