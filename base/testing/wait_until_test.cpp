#include "base/testing/wait_until.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace pelmar::testing {
namespace {

TEST(WaitUntilTest, SeesAConditionSetByAnotherThread) {
  std::atomic<bool> set{false};
  std::thread setter([&] { set.store(true); });
  EXPECT_TRUE(WaitUntil([&] { return set.load(); }));
  setter.join();
}

TEST(WaitUntilTest, GivesUpAtTheDeadlineAndCallsBetweenChecks) {
  int checks = 0, betweens = 0;
  EXPECT_FALSE(WaitUntil(
      [&] {
        ++checks;
        return false;
      },
      std::chrono::milliseconds(30), [&] { ++betweens; }));
  EXPECT_GE(checks, 2);  // at least once in the loop and once at the deadline
  EXPECT_EQ(betweens, checks);
}

TEST(WaitUntilTest, AConditionThatHoldsAtOnceIsCheckedOnce) {
  int checks = 0;
  EXPECT_TRUE(WaitUntil([&] { return ++checks > 0; }, std::chrono::milliseconds(0)));
  EXPECT_EQ(checks, 1);
}

TEST(WaitUntilTest, EveryChecksLessOften) {
  int checks = 0;
  EXPECT_FALSE(WaitUntilEvery(
      [&] {
        ++checks;
        return false;
      },
      std::chrono::milliseconds(100), std::chrono::milliseconds(40)));
  EXPECT_LE(checks, 4);  // 100 ms at one check per 40 ms, plus the last one
  EXPECT_GE(checks, 2);
}

}  // namespace
}  // namespace pelmar::testing
