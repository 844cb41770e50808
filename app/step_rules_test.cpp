#include "app/step_rules.h"

#include <gtest/gtest.h>

namespace pelmar {
namespace {

TEST(StepRulesTest, PlansEveryTransition) {
  const struct {
    int from, to;
    bool valid, unchanged, resize;
    unsigned width, height;
    bool givePath, checkSpace;
  } cases[] = {
      // The constructor's first switch: a reinstall starts small, a new install
      // keeps the 600 x 400 the window was created with.
      {-1, 0, true, false, true, 400, 200, false, false},
      {-1, 1, true, false, false, 600, 400, false, true},
      {0, 1, true, false, true, 600, 400, false, true},  // "安装" on the reminder
      {1, 2, true, false, false, 600, 400, true, false},
      {2, 1, true, false, false, 600, 400, false, true},  // back: the chosen path is the target
      {2, 3, true, false, false, 600, 400, false, true},
      {1, 3, true, false, false, 600, 400, false, true},
      {3, 4, true, false, false, 600, 400, false, false},
      {3, 1, true, false, false, 600, 400, false, true},  // after an error dialog
      {1, 1, true, true, false, 0, 0, false, false},      // same step: nothing
      {1, -1, false, false, false, 0, 0, false, false},
      {1, 5, false, false, false, 0, 0, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to);
    const StepPlan p = PlanStep(c.from, c.to);
    EXPECT_EQ(p.valid, c.valid);
    EXPECT_EQ(p.unchanged, c.unchanged);
    EXPECT_EQ(p.resize, c.resize);
    if (c.resize) {
      EXPECT_EQ(p.size.width, c.width);
      EXPECT_EQ(p.size.height, c.height);
    }
    EXPECT_EQ(p.giveCustomThePath, c.givePath);
    EXPECT_EQ(p.checkSpace, c.checkSpace);
  }
}

TEST(StepRulesTest, DesignSizes) {
  for (int step = 0; step < kStepCount; ++step) {
    SCOPED_TRACE(step);
    const DesignSize s = StepDesignSize(step);
    EXPECT_EQ(s.width, step == 0 ? 400u : 600u);
    EXPECT_EQ(s.height, step == 0 ? 200u : 400u);
  }
}

}  // namespace
}  // namespace pelmar
