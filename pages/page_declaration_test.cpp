#include "pages/page_declaration.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace pelmar {
namespace {

// Every entry's parent is an earlier layout; exactly one root (entry 0).
void ExpectWellFormed(const PageDeclaration& page) {
  ASSERT_FALSE(page.empty());
  EXPECT_EQ(page[0].kind, DeclKind::kLayout);
  EXPECT_EQ(page[0].parent, kNoParent);
  std::set<int> backgroundOf;
  for (size_t i = 1; i < page.size(); ++i) {
    SCOPED_TRACE(i);
    const ResourceDecl& d = page[i];
    ASSERT_GE(d.parent, 0);
    ASSERT_LT(d.parent, static_cast<int>(i));
    EXPECT_EQ(page[static_cast<size_t>(d.parent)].kind, DeclKind::kLayout);
    if (d.background) {
      EXPECT_TRUE(backgroundOf.insert(d.parent).second) << "two backgrounds";
      EXPECT_EQ(d.weight, 0u);
    } else {
      EXPECT_GT(d.weight, 0u);
    }
  }
}

std::vector<UiRect> LayOut(const PageDeclaration& page, int width, int height) {
  return LayOutDeclaration(page, width, height);
}

TEST(PageDeclarationTest, EveryPageIsWellFormed) {
  const struct {
    const char* name;
    PageDeclaration page;
  } pages[] = {
      {"begin", BeginPageDeclaration()},
      {"custom", CustomPageDeclaration()},
      {"finished", FinishedPageDeclaration()},
      {"warn", DialogDeclaration(WarnLook())},
      {"download reminder", DialogDeclaration(DownloadReminderLook())},
      {"error", DialogDeclaration(ErrorLook())},
      {"install reminder", DialogDeclaration(InstallReminderLook())},
      {"reminder", DialogDeclaration(ReminderLook())},
  };
  for (const auto& p : pages) {
    SCOPED_TRACE(p.name);
    ExpectWellFormed(p.page);
  }
}

TEST(PageDeclarationTest, MainPageListAsTabled) {
  // list index → kind, id, parent index, weight.
  const struct {
    DeclKind kind;
    int id;
    int parent;
    unsigned weight;
  } rows[] = {
      {DeclKind::kLayout, kNoId, kNoParent, 0},  // 0 root
      {DeclKind::kImage, 0, 0, 0},               // 1 background
      {DeclKind::kLayout, kNoId, 0, 4},          // 2 top bar
      {DeclKind::kSpacer, kNoId, 2, 27},         // 3
      {DeclKind::kButton, 2, 2, 1},              // 4 close
      {DeclKind::kSpacer, kNoId, 0, 3},          // 5
      {DeclKind::kLayout, kNoId, 0, 42},         // 6 logo area
      {DeclKind::kImage, 1, 6, 15},              // 7 logo
      {DeclKind::kText, 8, 6, 4},                // 8 title
      {DeclKind::kText, 8, 0, 6},                // 9 empty line
      {DeclKind::kLayout, kNoId, 0, 16},         // 10 button row
      {DeclKind::kSpacer, kNoId, 10, 25},        // 11
      {DeclKind::kButton, 3, 10, 21},            // 12 install
      {DeclKind::kSpacer, kNoId, 10, 25},        // 13
      {DeclKind::kSpacer, kNoId, 0, 10},         // 14
      {DeclKind::kLayout, kNoId, 0, 6},          // 15 agreement row
      {DeclKind::kCheckbox, 6, 15, 12},          // 16
      {DeclKind::kButton, 5, 15, 10},            // 17 agreement link
      {DeclKind::kText, 7, 15, 20},              // 18 hint
      {DeclKind::kButton, 4, 15, 10},            // 19 custom-install link
  };
  const PageDeclaration page = BeginPageDeclaration();
  ASSERT_EQ(page.size(), std::size(rows));
  for (size_t i = 0; i < page.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(page[i].kind, rows[i].kind);
    EXPECT_EQ(page[i].id, rows[i].id);
    EXPECT_EQ(page[i].parent, rows[i].parent);
    EXPECT_EQ(page[i].weight, rows[i].weight);
  }
  EXPECT_TRUE(page[1].background);
  EXPECT_EQ(page[0].margins.left, 20u);
  EXPECT_EQ(page[0].margins.top, 24u);
  EXPECT_EQ(page[15].margins.top, 10u);
  EXPECT_EQ(page[12].text, L"立即安装");
  EXPECT_DOUBLE_EQ(page[12].aspect, 3.5);
  EXPECT_EQ(page[12].styles.states[0].fillColor, 0xFF084AF4u);
  EXPECT_EQ(page[12].styles.states[3].fillColor, 0xFFD8D8D8u);
  EXPECT_FALSE(page[18].visible);
  EXPECT_TRUE(page[17].styles.states[0].underline);
  EXPECT_FALSE(page[19].styles.states[0].underline);
  EXPECT_EQ(page[19].styles.states[0].hAlign, kAlignFar);
  EXPECT_EQ(page[19].icons[3], L"main_word_custom_normal.png");
  EXPECT_EQ(page[4].icons[2], L"global_btn_close_hover.png");
  EXPECT_TRUE(page[4].icons[3].empty());
}

TEST(PageDeclarationTest, MainPageGeometryAt600x400) {
  const std::vector<UiRect> r = LayOut(BeginPageDeclaration(), 600, 400);
  // Root margins 20/24: the rows share 352 pixels by weights 4,3,42,6,16,10,6.
  EXPECT_EQ(r[1], (UiRect{0, 0, 600, 400}));  // the background gets everything
  EXPECT_EQ(r[2].top, 24);
  EXPECT_EQ(r[2].left, 20);
  EXPECT_EQ(r[2].right, 580);
  EXPECT_EQ(r[15].bottom, 376);
  // The button row: 560 wide by 25/21/25 puts the install slot in the middle.
  EXPECT_EQ(r[12].left, 20 + 197);
  EXPECT_EQ(r[12].right, 20 + 197 + 166);
}

TEST(PageDeclarationTest, CustomPageIdsInOrder) {
  std::vector<int> ids;
  for (const ResourceDecl& d : CustomPageDeclaration()) {
    if (d.kind != DeclKind::kLayout && d.kind != DeclKind::kSpacer) ids.push_back(d.id);
  }
  const std::vector<int> expected = {0, 1, 10, 10, 5, 2, 10, 6, 10, 7, 8, 10, 9, 3, 10};
  EXPECT_EQ(ids, expected);
  const PageDeclaration page = CustomPageDeclaration();
  for (const ResourceDecl& d : page) {
    if (d.id == custom_ids::kEdit) {
      EXPECT_EQ(d.vMargin, 4);
    }
    if (d.id == custom_ids::kJoinPlan) {
      EXPECT_EQ(d.vMargin, -4);
    }
    if (d.id == custom_ids::kDiskFull) {
      EXPECT_FALSE(d.visible);
    }
  }
  EXPECT_EQ(page[0].margins.bottom, 0u);
}

TEST(PageDeclarationTest, FinishedSubtitleBelongsToTheLogoArea) {
  const PageDeclaration page = FinishedPageDeclaration();
  int logoArea = -1;
  for (size_t i = 0; i < page.size(); ++i) {
    if (page[i].id == finished_ids::kLogo) logoArea = page[i].parent;
  }
  ASSERT_GT(logoArea, 0);
  std::vector<unsigned> weights;
  for (const ResourceDecl& d : page) {
    if (d.parent == logoArea) weights.push_back(d.weight);
  }
  EXPECT_EQ(weights, (std::vector<unsigned>{15, 4, 4}));
}

TEST(PageDeclarationTest, DialogMembersDifferOnlyWhereTheySay) {
  const struct {
    const char* name;
    DialogLook look;
    bool close;
    int iconId;
    Argb titleBorder;
    int radius;
  } members[] = {
      {"warn", WarnLook(), true, 5, 0x00FFFFFF, 4},
      {"download", DownloadReminderLook(), false, 3, 0x00FFFFFF, 4},
      {"error", ErrorLook(), false, 3, 0xFFC0C0C0, 4},
      {"install", InstallReminderLook(), false, 3, 0x00FFFFFF, 4},
      {"reminder", ReminderLook(), true, 4, 0x00FFFFFF, 0},
  };
  const size_t shared = DialogDeclaration(ErrorLook()).size();
  for (const auto& m : members) {
    SCOPED_TRACE(m.name);
    const PageDeclaration page = DialogDeclaration(m.look);
    EXPECT_EQ(page.size(), shared + (m.close ? 1 : 0));
    int closes = 0;
    for (const ResourceDecl& d : page) {
      if (d.kind == DeclKind::kButton && d.id == dialog_ids::kClose) ++closes;
      if (d.kind == DeclKind::kImage && d.imageType == kTypeImageOpaque) {
        EXPECT_EQ(d.id, m.iconId);
      }
    }
    EXPECT_EQ(closes, m.close ? 1 : 0);
    EXPECT_EQ(page[1].styles.states[0].cornerRadius, m.radius);
    EXPECT_EQ(page[3].styles.states[0].borderColor, m.titleBorder);
    EXPECT_EQ(page[3].hMargin, -1);
    EXPECT_EQ(page[3].vMargin, -2);
  }
  // Only the reminder's blue button keeps its pressed colour on hover; only
  // the download reminder's grey button has no border.
  const PageDeclaration reminder = DialogDeclaration(ReminderLook());
  EXPECT_EQ(reminder.back().styles.states[1].fillColor, 0xFF90ADFAu);
  EXPECT_EQ(DialogDeclaration(WarnLook()).back().styles.states[1].fillColor, 0xFF5E89F8u);
  const PageDeclaration download = DialogDeclaration(DownloadReminderLook());
  const PageDeclaration warn = DialogDeclaration(WarnLook());
  EXPECT_EQ(download[download.size() - 3].styles.states[0].borderWidth, 0u);
  EXPECT_EQ(warn[warn.size() - 3].styles.states[0].borderWidth, 1u);
  EXPECT_EQ(warn[warn.size() - 3].text, L"确认");
}

TEST(PageDeclarationTest, DialogButtonsAtTheirPlaces) {
  const std::vector<UiRect> r = LayOut(DialogDeclaration(WarnLook()), 400, 200);
  const PageDeclaration page = DialogDeclaration(WarnLook());
  // The blue button sits right of the grey one, both in the lowest strip.
  const UiRect& grey = r[page.size() - 3];
  const UiRect& blue = r[page.size() - 1];
  EXPECT_LT(grey.right, blue.left);
  EXPECT_EQ(grey.Width(), blue.Width());
  EXPECT_GT(grey.top, 140);
  EXPECT_LE(blue.bottom, 200 - 16);
}

}  // namespace
}  // namespace pelmar
