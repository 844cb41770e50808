#include "pages/progress_rules.h"

#include <gtest/gtest.h>

#include "pages/failure_counter.h"

namespace pelmar {
namespace {

TEST(ProgressRules, StatusTextCarriesThePercentage) {
  EXPECT_EQ(StatusText(0), L"正在安装，请不要关闭：0%");
  EXPECT_EQ(StatusText(80), L"正在安装，请不要关闭：80%");
  EXPECT_EQ(StatusText(99), L"正在安装，请不要关闭：99%");
}

TEST(FailureCounter, TwoRetriesThenTheReminder) {
  CFailureCounter counter;
  EXPECT_EQ(counter.count(), 0);
  const int first = counter.Record();
  const int second = counter.Record();
  const int third = counter.Record();
  EXPECT_EQ(first, 1);
  EXPECT_TRUE(CFailureCounter::OffersRetry(first));
  EXPECT_TRUE(CFailureCounter::OffersRetry(second));
  EXPECT_FALSE(CFailureCounter::OffersRetry(third));
  // A fourth failure (the reminder was somehow left) still gives no retry.
  EXPECT_FALSE(CFailureCounter::OffersRetry(counter.Record()));
}

TEST(FailureCounter, TheProcessKeepsOneCounterPerKind) {
  CFailureCounter& downloads = CFailureCounter::Downloads();
  CFailureCounter& setups = CFailureCounter::Setups();
  EXPECT_NE(&downloads, &setups);
  EXPECT_EQ(&downloads, &CFailureCounter::Downloads());
  const int setupsBefore = setups.count();
  (void)downloads.Record();
  EXPECT_EQ(setups.count(), setupsBefore);
}

}  // namespace
}  // namespace pelmar
