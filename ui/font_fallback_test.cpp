#include "ui/font_fallback.h"

#include <gtest/gtest.h>

namespace pelmar {
namespace {

TEST(FontFallbackTest, CandidatesInOrderWithoutRepeats) {
  const struct {
    const char* what;
    std::wstring designed, ui, generic;
    std::vector<std::wstring> chinese;
    std::vector<std::wstring> expected;
  } cases[] = {
      {"all different",
       L"Microsoft Yahei",
       L"Segoe UI",
       L"Arial",
       {L"SimSun", L"WenQuanYi"},
       {L"Microsoft Yahei", L"Segoe UI", L"Arial", L"SimSun", L"WenQuanYi"}},
      {"repeats differ only in case",
       L"Microsoft Yahei",
       L"microsoft yahei",
       L"Tahoma",
       {L"TAHOMA", L"SimHei"},
       {L"Microsoft Yahei", L"Tahoma", L"SimHei"}},
      {"empty names left out",
       L"SimHei",
       L"",
       L"",
       {L"", L"SimHei", L"Noto Sans CJK SC"},
       {L"SimHei", L"Noto Sans CJK SC"}},
      {"nothing at all", L"", L"", L"", {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.expected, FallbackCandidates(c.designed, c.ui, c.generic, c.chinese));
  }
}

TEST(FontFallbackTest, ChoosesTheFirstFaceThatExistsAndCoversTheCaption) {
  const struct {
    const char* what;
    std::vector<FaceProbe> probes;
    int expected;
  } cases[] = {
      {"designed face present", {{L"Yahei", true, true}, {L"Tahoma", true, false}}, 0},
      {"designed face missing: the UI face when it covers",
       {{L"Yahei", false, false}, {L"Segoe", true, true}, {L"Arial", true, true}},
       1},
      // The blank-caption fault: a face that exists but has no Chinese glyphs.
      {"UI face without Chinese: the next face that has it",
       {{L"Yahei", false, false},
        {L"Tahoma", true, false},
        {L"Arial", true, false},
        {L"WenQuanYi", true, true}},
       3},
      {"nothing covers: the first face that exists",
       {{L"Yahei", false, false}, {L"Tahoma", true, false}, {L"Arial", true, false}},
       1},
      {"a claimed cover without the face counts for nothing",
       {{L"Yahei", false, true}, {L"Tahoma", true, false}},
       1},
      {"no face exists", {{L"Yahei", false, false}, {L"Tahoma", false, false}}, -1},
      {"no candidates", {}, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.expected, ChooseFace(c.probes));
  }
}

TEST(FontFallbackTest, ShrinksOnlyWhatDoesNotFit) {
  const struct {
    const char* what;
    double design, needed, available, minimum, expected;
  } cases[] = {
      {"fits", 16, 80, 100, 12, 16},
      {"fits exactly", 16, 100, 100, 12, 16},
      {"a fifth too wide", 16, 125, 100, 12, 12.8},
      {"far too wide stops at the minimum", 16, 400, 100, 12, 12},
      {"150 % scale", 24, 150, 120, 18, 19.2},
      {"nothing measured", 16, 0, 100, 12, 16},
      {"no room at all keeps the design size", 16, 50, 0, 12, 16},
      {"a minimum above the design size never grows it", 16, 400, 100, 20, 16},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_DOUBLE_EQ(c.expected, FitFontPixels(c.design, c.needed, c.available, c.minimum));
  }
  EXPECT_DOUBLE_EQ(12.0, MinimumFitPixels(16.0));
}

}  // namespace
}  // namespace pelmar
