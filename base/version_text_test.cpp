#include "base/version_text.h"

#include <gtest/gtest.h>

#include <string>

namespace pelmar {
namespace {

// The two questions side by side on the same pairs: where their answers
// differ is what keeps them from being swapped or merged.
TEST(VersionTextTest, BothQuestionsOnTheSamePairs) {
  const struct {
    const char* ours;
    const char* theirs;
    bool covers;     // ours may stand in for theirs
    bool reinstall;  // installing ours over theirs is a reinstall
  } cases[] = {
      {"2.1.0.5", "2.1.0.5", true, true},
      {"2.1.1.0", "2.1.0.5", false, false},  // an upgrade, yet 0 < 5 in the last part
      {"2.1.1.5", "2.1.0.5", true, false},
      {"2.0.9.9", "2.1.0.5", false, true},
      {"2.0", "1.5", false, false},     // part by part, not the first difference
      {"2.1", "2.1.0.5", false, true},  // lengths differ; only shared parts are compared
      {"1..2", "1.2", true, true},      // empty parts: dropped / read as 0 (0 < 2)
      {"", "", false, false},
      {"3", "", false, true},         // nothing compared is "all equal"
      {"10.0", "9.9", false, false},  // numeric, not text order; 0 < 9 in the second part
      {"x.1", "0.1", true, true},     // not a number counts as 0
      {" 3.\t4", "3.4", true, true},  // each part read like "%lld"
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.ours) + " vs " + c.theirs);
    const VersionText ours(c.ours), theirs(c.theirs);
    EXPECT_EQ(ours.CoversEveryPartOf(theirs), c.covers);
    EXPECT_EQ(ours.IsReinstallOver(theirs), c.reinstall);
  }
}

}  // namespace
}  // namespace pelmar
