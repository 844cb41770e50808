#include "pages/page_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text_convert.h"
#include "pages/page_declaration.h"
#include "ui/view_geometry.h"
#include "ui/widget_style.h"

namespace pelmar {
namespace {

TEST(SizeTextTest, UnitBoundaries) {
  const struct {
    int64_t bytes;
    const wchar_t* text;
  } cases[] = {
      {0, L"0.0 B"},
      {1024, L"1024.0 B"},  // exactly 2^10 stays in bytes
      {1025, L"1.0 KB"},
      {1536, L"1.5 KB"},
      {1048576, L"1024.0 KB"},  // exactly 2^20
      {1048577, L"1.0 MB"},
      {261485343, L"249.4 MB"},    // the default product size
      {1073741824, L"1024.0 MB"},  // exactly 2^30
      {1073741825, L"1.0 GB"},
      {1099511627776LL, L"1024.0 GB"},  // exactly 2^40
      {3 * 1099511627776LL, L"3.0 TB"},
      {INT64_MAX, L"8388608.0 TB"},  // the largest count still fits
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(SizeText(c.bytes), c.text);
  }
}

TEST(ProductSubPathTest, AppendedOnceWithOneSeparator) {
  const struct {
    const wchar_t* given;
    const wchar_t* result;
  } cases[] = {
      {L"D:\\Games", L"D:\\Games\\Pelmar\\Morvantile"},
      {L"D:\\Games\\", L"D:\\Games\\Pelmar\\Morvantile"},  // no doubled backslash
      {L"D:\\", L"D:\\Pelmar\\Morvantile"},
      {L"D:", L"D:\\Pelmar\\Morvantile"},
      {L"D:\\Pelmar\\Morvantile", L"D:\\Pelmar\\Morvantile"},                  // kept
      {L"D:\\x\\Pelmar\\Morvantile\\sub", L"D:\\x\\Pelmar\\Morvantile\\sub"},  // below it: kept
      {L"D:\\Pelmar", L"D:\\Pelmar\\Pelmar\\Morvantile"},  // only the whole sub-path counts
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.given, c.given + wcslen(c.given)));
    EXPECT_EQ(WithProductSubPath(c.given), c.result);
  }
}

TEST(UsableInstallPathTest, RefusesWhatWouldBreakTheSetupCommandLine) {
  const std::wstring longest = L"C:\\" + std::wstring(kMaxInstallPathChars - 3, L'a');
  const struct {
    std::wstring path;
    bool usable;
    std::wstring canonical;  // when usable
  } cases[] = {
      {L"C:\\Program Files\\Pelmar\\Morvantile", true, L"C:\\Program Files\\Pelmar\\Morvantile"},
      {L"D:\\游戏\\Morvantile", true, L"D:\\游戏\\Morvantile"},
      {L"D:\\", true, L"D:\\"},
      {L"D:\\Games\\", true, L"D:\\Games"},  // the trailing backslash would escape the quote
      {L"C:\\Pelmar\\Morvantile\\..\\..\\Windows\\System32", true, L"C:\\Windows\\System32"},
      {L"", false, L""},
      {L"C:\\a\"b", false, L""},  // a quote would end the quoted /DIR= argument
      {L"C:\\a\nb", false, L""},  // control characters
      {L"C:\\a\tb", false, L""},
      {std::wstring(L"C:\\a\x7F"
                    L"b"),
       false, L""},
      {L"C:\\a<b", false, L""},
      {L"relative\\path", false, L""},
      {L"C:\\\\double", false, L""},
      {L"C:\\CON\\Games", false, L""},  // a device, not a folder
      {L"C:\\Games.", false, L""},      // Windows would drop the dot
      {L"C:\\Games \\x", false, L""},   // and the space
      {L"C:\\..", false, L""},          // above the drive
      {longest, true, longest},
      {longest + L"a", false, L""},  // no room left for the product's files
      // Resolving first: the same directory, however long the way there.
      {longest + L"\\x\\..", true, longest},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8FromWide(c.path));
    std::wstring canonical = L"untouched";
    EXPECT_EQ(UsableInstallPath(c.path, &canonical), c.usable);
    EXPECT_EQ(canonical, c.usable ? c.canonical : L"untouched");
  }
  // The longest path leaves room for the separator and the longest file.
  EXPECT_LE(kMaxInstallPathChars + 1 + kLongestInstalledFileChars, 259u);
}

TEST(HasRoomTest, StrictComparison) {
  EXPECT_TRUE(HasRoom(500, 501));
  EXPECT_FALSE(HasRoom(500LL * 1024 * 1024, 500ULL * 1024 * 1024));  // exactly equal
  EXPECT_FALSE(HasRoom(1, 0));
  EXPECT_FALSE(HasRoom(0, 0));
  EXPECT_TRUE(HasRoom(-5, 1));
  EXPECT_TRUE(HasRoom(INT64_MAX, UINT64_MAX));
}

TEST(WebAddressTest, AgreementCarriesTheMachineId) {
  const std::string url = UserAgreementAddress("abc123");
  EXPECT_EQ(url.rfind(ProductWebSite(), 0), 0u);
  EXPECT_NE(url.find("/terms/user-agreement?_mid=abc123"), std::string::npos);
  EXPECT_EQ(url.size(),
            ProductWebSite().size() + std::string("/terms/user-agreement?_mid=abc123").size());
}

// The main page's widgets as the rules see them, in list order.
class BeginRuleTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const ResourceDecl& d : BeginPageDeclaration()) {
      WidgetState w;
      w.id = d.id;
      w.type = TypeOf(d);
      w.visible = d.visible;
      w.checked = d.kind == DeclKind::kCheckbox;
      widgets.push_back(w);
    }
  }
  static int TypeOf(const ResourceDecl& d) {
    switch (d.kind) {
      case DeclKind::kLayout:
        return kTypeLayout;
      case DeclKind::kSpacer:
        return kTypeSpacer;
      case DeclKind::kImage:
        return d.imageType;
      case DeclKind::kButton:
        return kTypeButton;
      case DeclKind::kCheckbox:
        return kTypeCheckbox;
      case DeclKind::kText:
        return kTypeText;
      case DeclKind::kEdit:
        return kTypeEdit;
    }
    return -1;
  }
  WidgetState& Id(int id) {
    for (auto& w : widgets) {
      if (w.id == id && w.type != kTypeText) return w;
    }
    for (auto& w : widgets) {
      if (w.id == id) return w;
    }
    return widgets.front();
  }
  int IndexOf(int id) const {
    for (size_t i = 0; i < widgets.size(); ++i) {
      if (widgets[i].id == id) return static_cast<int>(i);
    }
    return -1;
  }
  void ClickBox() { ApplyBeginStateRule(&widgets, kAgreementIndex, MouseEvent::kClick, &flags); }

  static constexpr int kAgreementIndex = 16;
  std::vector<WidgetState> widgets;
  BeginPageFlags flags;
};

TEST_F(BeginRuleTest, UntickingDisablesInstallAndCustomAndShowsTheHint) {
  using namespace begin_ids;
  ASSERT_EQ(IndexOf(kAgreement), kAgreementIndex);
  ClickBox();
  EXPECT_FALSE(Id(kAgreement).checked);
  EXPECT_FALSE(flags.agreed);
  EXPECT_TRUE(Id(kHint).visible);
  EXPECT_EQ(Id(kInstall).state, kStateDisabled);
  EXPECT_EQ(Id(kCustom).state, kStateDisabled);
  // Hovering and pressing the disabled buttons leaves them disabled.
  for (MouseEvent e : {MouseEvent::kMove, MouseEvent::kPress, MouseEvent::kClick}) {
    ApplyBeginStateRule(&widgets, IndexOf(kInstall), e, &flags);
    ApplyBeginStateRule(&widgets, IndexOf(kCustom), e, &flags);
    EXPECT_EQ(Id(kInstall).state, kStateDisabled);
    EXPECT_EQ(Id(kCustom).state, kStateDisabled);
  }
}

TEST_F(BeginRuleTest, TickingTwiceReturnsToTheStart) {
  using namespace begin_ids;
  const std::vector<WidgetState> start = widgets;
  for (int round = 0; round < 2; ++round) {
    ClickBox();
    ClickBox();
  }
  EXPECT_TRUE(flags.agreed);
  for (size_t i = 0; i < widgets.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(widgets[i].state, start[i].state);
    EXPECT_EQ(widgets[i].visible, start[i].visible);
    EXPECT_EQ(widgets[i].checked, start[i].checked);
  }
  EXPECT_FALSE(Id(kHint).visible);
}

TEST_F(BeginRuleTest, WithoutSpaceTickingKeepsInstallDisabledButFreesCustom) {
  using namespace begin_ids;
  EXPECT_TRUE(ApplyBeginSpaceOk(&widgets, false, &flags));
  EXPECT_EQ(Id(kInstall).state, kStateDisabled);
  EXPECT_FALSE(ApplyBeginSpaceOk(&widgets, false, &flags));  // unchanged flag: nothing
  ClickBox();
  ClickBox();
  EXPECT_EQ(Id(kInstall).state, kStateDisabled);
  EXPECT_EQ(Id(kCustom).state, kStateNormal);
  EXPECT_TRUE(ApplyBeginSpaceOk(&widgets, true, &flags));
  EXPECT_EQ(Id(kInstall).state, kStateNormal);
}

TEST_F(BeginRuleTest, SpaceReturningWhileUntickedKeepsInstallDisabled) {
  using namespace begin_ids;
  ApplyBeginSpaceOk(&widgets, false, &flags);
  ClickBox();  // unticked
  ApplyBeginSpaceOk(&widgets, true, &flags);
  EXPECT_EQ(Id(kInstall).state, kStateDisabled);
}

TEST_F(BeginRuleTest, ButtonsFollowTheMouse) {
  using namespace begin_ids;
  const int install = IndexOf(kInstall);
  const struct {
    MouseEvent event;
    int state;
  } steps[] = {{MouseEvent::kMove, kStateHover},
               {MouseEvent::kPress, kStatePressed},
               {MouseEvent::kClick, kStateNormal}};
  for (const auto& s : steps) {
    EXPECT_TRUE(ApplyBeginStateRule(&widgets, install, s.event, &flags));
    EXPECT_EQ(Id(kInstall).state, s.state);
  }
  // Moving onto the close button puts the install button back to normal.
  ApplyBeginStateRule(&widgets, install, MouseEvent::kMove, &flags);
  ApplyBeginStateRule(&widgets, IndexOf(kClose), MouseEvent::kMove, &flags);
  EXPECT_EQ(Id(kInstall).state, kStateNormal);
  EXPECT_EQ(Id(kClose).state, kStateHover);
  // The check box keeps its state on moves and presses.
  ApplyBeginStateRule(&widgets, kAgreementIndex, MouseEvent::kMove, &flags);
  ApplyBeginStateRule(&widgets, kAgreementIndex, MouseEvent::kPress, &flags);
  EXPECT_TRUE(Id(kAgreement).checked);
  EXPECT_TRUE(flags.agreed);
}

TEST(CustomRuleTest, InstallAndWarningFollowTheSpace) {
  using namespace custom_ids;
  std::vector<WidgetState> widgets = {
      {kBack, kTypeButton, kStateNormal, false, true},
      {kInstall, kTypeButton, kStateNormal, false, true},
      {kDiskFull, kTypeText, kStateNormal, false, false},
      {kJoinPlan, kTypeCheckbox, kStateNormal, true, true},
  };
  EXPECT_TRUE(ApplyCustomStateRule(&widgets, -1, MouseEvent::kClick, false));
  EXPECT_EQ(widgets[1].state, kStateDisabled);
  EXPECT_TRUE(widgets[2].visible);
  // A disabled install button ignores the mouse.
  EXPECT_FALSE(ApplyCustomStateRule(&widgets, 1, MouseEvent::kMove, false));
  EXPECT_EQ(widgets[1].state, kStateDisabled);
  EXPECT_TRUE(ApplyCustomStateRule(&widgets, -1, MouseEvent::kClick, true));
  EXPECT_EQ(widgets[1].state, kStateNormal);
  EXPECT_FALSE(widgets[2].visible);
  // The box toggles on a click only.
  ApplyCustomStateRule(&widgets, 3, MouseEvent::kPress, true);
  EXPECT_TRUE(widgets[3].checked);
  ApplyCustomStateRule(&widgets, 3, MouseEvent::kClick, true);
  EXPECT_FALSE(widgets[3].checked);
  ApplyCustomStateRule(&widgets, 0, MouseEvent::kMove, true);
  EXPECT_EQ(widgets[0].state, kStateHover);
}

TEST(ButtonRuleTest, DialogsMoveDisabledButtonsPagesDoNot) {
  std::vector<WidgetState> widgets = {{1, kTypeButton, kStateDisabled, false, true},
                                      {2, kTypeText, kStateNormal, false, true}};
  EXPECT_FALSE(ApplyButtonStateRule(&widgets, 0, MouseEvent::kMove, false));
  EXPECT_EQ(widgets[0].state, kStateDisabled);
  EXPECT_TRUE(ApplyButtonStateRule(&widgets, 0, MouseEvent::kMove, true));
  EXPECT_EQ(widgets[0].state, kStateHover);
  // Moving elsewhere puts it back; the text is no button and keeps its state.
  EXPECT_TRUE(ApplyButtonStateRule(&widgets, 1, MouseEvent::kMove, true));
  EXPECT_EQ(widgets[0].state, kStateNormal);
  EXPECT_EQ(widgets[1].state, kStateNormal);
}

}  // namespace
}  // namespace pelmar
