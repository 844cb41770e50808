#include "ui/focus_order.h"

#include <gtest/gtest.h>

namespace pelmar {
namespace {

// The main page's widgets as laid out at 600 x 400, in list order: the
// background, the close button (top right), the install button, the
// agreement box, its link, the custom link, the title text.
std::vector<FocusCandidate> MainPage() {
  return {
      {0, kTypeImage, {0, 0, 600, 400}},       {3, kTypeButton, {566, 20, 580, 44}},
      {5, kTypeButton, {217, 255, 383, 302}},  {9, kTypeCheckbox, {20, 362, 140, 382}},
      {10, kTypeButton, {149, 363, 240, 381}}, {11, kTypeButton, {472, 362, 580, 382}},
      {12, kTypeText, {20, 186, 580, 220}},
  };
}

TEST(FocusOrderTest, ReadingOrderOfWhatTheKeyboardReaches) {
  auto disabled = [](std::vector<FocusCandidate> v, int index) {
    for (auto& c : v) c.enabled = c.enabled && c.index != index;
    return v;
  };
  auto hidden = [](std::vector<FocusCandidate> v, int index) {
    for (auto& c : v) c.visible = c.visible && c.index != index;
    return v;
  };
  const struct {
    const char* what;
    std::vector<FocusCandidate> candidates;
    std::vector<int> expected;
  } cases[] = {
      {"main page: top row, install, then the bottom row left to right",
       MainPage(),
       {3, 5, 9, 10, 11}},
      {"a disabled button is skipped", disabled(MainPage(), 5), {3, 9, 10, 11}},
      {"a hidden one too", hidden(MainPage(), 11), {3, 5, 9, 10}},
      {"a disabled check box still takes the focus", disabled(MainPage(), 9), {3, 5, 9, 10, 11}},
      {"list order does not matter, rows do",
       {{1, kTypeButton, {300, 150, 380, 180}},
        {2, kTypeEdit, {20, 100, 280, 130}},
        {3, kTypeButton, {300, 102, 360, 128}},
        {4, kTypeButton, {20, 150, 100, 180}}},
       {2, 3, 4, 1}},
      {"a taller neighbour whose centre lies in the row joins it",
       {{1, kTypeButton, {200, 100, 260, 120}}, {2, kTypeCheckbox, {20, 95, 120, 135}}},
       {2, 1}},
      {"texts, pictures and progress bars are never reached",
       {{0, kTypeImage, {0, 0, 10, 10}},
        {1, kTypeText, {0, 0, 10, 10}},
        {2, kTypeProgress, {0, 0, 10, 10}},
        {3, kTypeImageOpaque, {0, 0, 10, 10}}},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.expected, FocusOrder(c.candidates));
  }
}

TEST(FocusOrderTest, NextWrapsBothWays) {
  const std::vector<int> order = {3, 5, 9};
  const struct {
    int current;
    bool forward;
    int expected;
  } cases[] = {
      {-1, true, 3}, {-1, false, 9}, {3, true, 5},  {9, true, 3},
      {3, false, 9}, {5, false, 3},  {42, true, 3}, {42, false, 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.current << (c.forward ? " forward" : " back"));
    EXPECT_EQ(c.expected, NextFocus(order, c.current, c.forward));
  }
  EXPECT_EQ(-1, NextFocus({}, 3, true));
}

TEST(FocusOrderTest, WhatEachKeyDoes) {
  const KeyRoles page{5, 3, false};
  const KeyRoles noClose{5, -1, true};
  const KeyRoles mustStay{5, -1, false};
  auto installDisabled = MainPage();
  for (auto& c : installDisabled) c.enabled = c.index != 5;
  const struct {
    const char* what;
    KeyName key;
    bool shift;
    std::vector<FocusCandidate> candidates;
    int focused;
    KeyRoles roles;
    KeyOutcome::Kind kind;
    int index;
  } cases[] = {
      {"Tab from nothing: the first", KeyName::kTab, false, MainPage(), -1, page,
       KeyOutcome::kMoveFocus, 3},
      {"Shift+Tab from nothing: the last", KeyName::kTab, true, MainPage(), -1, page,
       KeyOutcome::kMoveFocus, 11},
      {"Tab onwards", KeyName::kTab, false, MainPage(), 5, page, KeyOutcome::kMoveFocus, 9},
      {"Tab with nothing to reach",
       KeyName::kTab,
       false,
       {{0, kTypeImage, {0, 0, 9, 9}}},
       -1,
       page,
       KeyOutcome::kNone,
       -1},
      {"Enter with nothing focused: the main button", KeyName::kEnter, false, MainPage(), -1, page,
       KeyOutcome::kPress, 5},
      {"Enter on a focused link presses it", KeyName::kEnter, false, MainPage(), 11, page,
       KeyOutcome::kPress, 11},
      {"Enter on the check box: the main button", KeyName::kEnter, false, MainPage(), 9, page,
       KeyOutcome::kPress, 5},
      {"Enter while the main button is disabled does nothing", KeyName::kEnter, false,
       installDisabled, 9, page, KeyOutcome::kNone, -1},
      {"Space ticks the focused check box", KeyName::kSpace, false, MainPage(), 9, page,
       KeyOutcome::kPress, 9},
      {"Space on a focused button presses it", KeyName::kSpace, false, MainPage(), 10, page,
       KeyOutcome::kPress, 10},
      {"Space with nothing focused does nothing", KeyName::kSpace, false, MainPage(), -1, page,
       KeyOutcome::kNone, -1},
      {"Esc presses the close button", KeyName::kEscape, false, MainPage(), 9, page,
       KeyOutcome::kPress, 3},
      {"Esc without a close button closes the window", KeyName::kEscape, false, MainPage(), -1,
       noClose, KeyOutcome::kCloseWindow, -1},
      {"Esc on a page that must stay does nothing", KeyName::kEscape, false, MainPage(), -1,
       mustStay, KeyOutcome::kNone, -1},
      {"other keys do nothing", KeyName::kOther, false, MainPage(), 5, page, KeyOutcome::kNone, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const KeyOutcome out = ResolveKey(c.key, c.shift, c.candidates, c.focused, c.roles);
    EXPECT_EQ(c.kind, out.kind);
    EXPECT_EQ(c.index, out.index);
  }
}

}  // namespace
}  // namespace pelmar
