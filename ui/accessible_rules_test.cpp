#include "ui/accessible_rules.h"

#include <gtest/gtest.h>

#include "ui/view_geometry.h"

namespace pelmar {
namespace {

TEST(AccessibleRulesTest, RolesByKind) {
  const struct {
    const char* what;
    AccessSource source;
    AccessRole expected;
  } cases[] = {
      {"filled button", {0, kTypeButton, true, false, L"立即安装"}, AccessRole::kPushButton},
      {"bare caption button is a link",
       {0, kTypeButton, true, true, L"用户使用协议"},
       AccessRole::kLink},
      {"bare icon button stays a button",
       {0, kTypeButton, true, true, L""},
       AccessRole::kPushButton},
      {"check box", {0, kTypeCheckbox, true, true, L"我已阅读并同意"}, AccessRole::kCheckBox},
      {"text", {0, kTypeText, true, false, L"Morvantile"}, AccessRole::kStaticText},
      {"blank text", {0, kTypeText, true, false, L"  "}, AccessRole::kNone},
      {"edit", {0, kTypeEdit, true, false, L""}, AccessRole::kEditText},
      {"progress", {0, kTypeProgress, true, false, L""}, AccessRole::kProgressBar},
      {"hidden button", {0, kTypeButton, false, false, L"安装"}, AccessRole::kNone},
      {"background picture", {0, kTypeImage, true, false, L""}, AccessRole::kNone},
      {"logo", {0, kTypeImageOpaque, true, false, L""}, AccessRole::kNone},
      {"layout", {0, kTypeLayout, true, false, L""}, AccessRole::kNone},
      {"banner", {0, kTypeMovie, true, false, L""}, AccessRole::kNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.expected, RoleOf(c.source));
  }
}

TEST(AccessibleRulesTest, ChildrenAndTheirIds) {
  const std::vector<AccessSource> page = {
      {0, kTypeImage, true, false, L""},       {1, kTypeLayout, true, false, L""},
      {2, kTypeButton, true, true, L""},       {3, kTypeText, true, false, L"Morvantile"},
      {4, kTypeText, false, false, L"提示"},   {5, kTypeButton, true, false, L"立即安装"},
      {6, kTypeCheckbox, true, true, L"同意"},
  };
  const std::vector<int> children = AccessibleChildren(page);
  EXPECT_EQ((std::vector<int>{2, 3, 5, 6}), children);
  const struct {
    int index;
    int childId;
  } ids[] = {{2, 1}, {3, 2}, {5, 3}, {6, 4}, {0, 0}, {4, 0}, {99, 0}};
  for (const auto& c : ids) {
    SCOPED_TRACE(c.index);
    EXPECT_EQ(c.childId, ChildIdOf(children, c.index));
    if (c.childId > 0) EXPECT_EQ(c.index, IndexOfChild(children, c.childId));
  }
  for (long bad : {0L, -1L, 5L}) EXPECT_EQ(-1, IndexOfChild(children, bad));
}

TEST(AccessibleRulesTest, Names) {
  EXPECT_EQ(L"立即安装", AccessibleName({0, kTypeButton, true, false, L" 立即安装 "}, false));
  EXPECT_EQ(L"关闭", AccessibleName({0, kTypeButton, true, true, L""}, true));
  EXPECT_EQ(L"", AccessibleName({0, kTypeButton, true, true, L""}, false));
  // A close button with a caption keeps it.
  EXPECT_EQ(L"取消", AccessibleName({0, kTypeButton, true, false, L"取消"}, true));
}

TEST(AccessibleRulesTest, TheFieldIsNamedByItsLabel) {
  const std::vector<AccessSource> page = {
      {0, kTypeText, true, false, L"自定义安装"}, {1, kTypeText, true, false, L"安装路径: "},
      {2, kTypeLayout, true, false, L""},         {3, kTypeEdit, true, false, L""},
      {4, kTypeText, true, false, L"所需空间："},
  };
  EXPECT_EQ(L"安装路径", LabelFor(page, 3));
  EXPECT_EQ(L"所需空间", LabelFor(page, 5));
  EXPECT_EQ(L"", LabelFor(page, 0));
  // A hidden text is no label.
  std::vector<AccessSource> hidden = page;
  hidden[1].visible = false;
  EXPECT_EQ(L"自定义安装", LabelFor(hidden, 3));
}

}  // namespace
}  // namespace pelmar
