#include "ui/text_resource.h"

#include "ui/ui_test_fixture.h"
#include "ui/view_geometry.h"

namespace pelmar {
namespace {

using test::Dib;

class TextResourceTest : public test::SkinTest {};

TEST_F(TextResourceTest, AlignmentPutsTheInkWhereItBelongs) {
  const struct {
    const wchar_t* text;
    int hAlign;
    int inkLeft, inkRight;      // where ink must appear
    int emptyLeft, emptyRight;  // where it must not
  } cases[] = {
      {L"Morvantile", kAlignNear, 0, 150, 250, 400},
      {L"Morvantile", kAlignFar, 250, 400, 0, 150},
      {L"自定义安装", kAlignCentre, 150, 250, 0, 100},
      {L"（勾选已阅读用户协议后才能安装）", kAlignNear, 0, 150, 350, 400},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hAlign);
    WidgetStyleSet styles;
    styles[kStateNormal].textColor = 0xFF1A1A1A;
    styles[kStateNormal].hAlign = c.hAlign;
    styles[kStateNormal].fontSize = 14;
    CTextResource text(8, &styles, c.text);
    ASSERT_TRUE(text.SetRect(0, 0, 400, 40));
    Dib dib(400, 40);
    text.Draw(dib.dc());
    EXPECT_GT(dib.CountOther(c.inkLeft, 0, c.inkRight, 40, 0xFFFFFFFF), 30);
    EXPECT_EQ(0, dib.CountOther(c.emptyLeft, 0, c.emptyRight, 40, 0xFFFFFFFF));
  }
}

TEST_F(TextResourceTest, DefaultFillIsWhiteAndLongTextWraps) {
  const wchar_t* texts[] = {
      L"The network failed, so the parts could not load; try again later.",
      L"检测到网络异常，必要组件无法加载，请检查网络后重试。",
  };
  for (const wchar_t* t : texts) {
    SCOPED_TRACE(testing::Message() << (t[0] == L'T' ? "words" : "Chinese"));
    CTextResource text(10, nullptr, t);
    EXPECT_EQ(0xFFFFFFFFu, text.Style().fillColor);
    ASSERT_TRUE(text.SetRect(0, 0, 120, 120));
    Dib dib(120, 120, 0xFF000080);
    text.Draw(dib.dc());
    // Several lines, centred: ink above and below the middle, on the white fill.
    EXPECT_EQ(0xFFFFFFFFu, dib.Pixel(1, 1));
    EXPECT_GT(dib.CountOther(0, 0, 120, 50, 0xFFFFFFFF), 30);
    EXPECT_GT(dib.CountOther(0, 70, 120, 120, 0xFFFFFFFF), 30);
    // Nothing spills past the right edge of the box: the last column stays white.
    EXPECT_EQ(0, dib.CountOther(119, 0, 120, 120, 0xFFFFFFFF));
  }
}

// Rows holding ink in a DIB, as [first, last].
std::pair<int, int> InkRows(const Dib& dib, uint32_t background) {
  int first = -1, last = -1;
  for (int y = 0; y < dib.height(); ++y) {
    if (dib.CountOther(0, y, dib.width(), y + 1, background) > 0) {
      if (first < 0) first = y;
      last = y;
    }
  }
  return {first, last};
}

TEST_F(TextResourceTest, VerticalAlignment) {
  const struct {
    int vAlign;
    int minFirst, maxLast;  // ink rows must lie within
  } cases[] = {{kAlignNear, 0, 40}, {kAlignCentre, 30, 70}, {kAlignFar, 60, 100}};
  std::vector<std::pair<int, int>> rows;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.vAlign);
    WidgetStyleSet styles;
    styles[kStateNormal].vAlign = c.vAlign;
    CTextResource text(8, &styles, L"立即安装 Morvantile");
    ASSERT_TRUE(text.SetRect(0, 0, 300, 100));
    Dib dib(300, 100);
    text.Draw(dib.dc());
    const auto [first, last] = InkRows(dib, 0xFFFFFFFF);
    EXPECT_GE(first, c.minFirst);
    EXPECT_LE(last, c.maxLast);
    EXPECT_GT(last - first, 8);
    rows.push_back({first, last});
  }
  // Centred ink sits about as far from the top as from the bottom.
  EXPECT_NEAR(rows[1].first, 100 - 1 - rows[1].second, 8);
}

TEST_F(TextResourceTest, FontGrowsWithTheDisplayScale) {
  int ink[2] = {};
  const double scales[2] = {1.0, 2.0};
  for (int i = 0; i < 2; ++i) {
    SetScale(scales[i]);
    CTextResource text(8, nullptr, L"Morvantile");
    ASSERT_TRUE(text.SetRect(0, 0, 400, 80));
    Dib dib(400, 80);
    text.Draw(dib.dc());
    ink[i] = dib.CountOther(0, 0, 400, 80, 0xFFFFFFFF);
  }
  EXPECT_GT(ink[1], ink[0] * 2);
}

TEST_F(TextResourceTest, UnknownFamilyFallsBackToSansSerif) {
  WidgetStyleSet styles;
  styles[kStateNormal].fontFamily = L"No Such Family 12345";
  CTextResource text(8, &styles, L"Morvantile");
  ASSERT_TRUE(text.SetRect(0, 0, 200, 40));
  Dib dib(200, 40);
  text.Draw(dib.dc());
  EXPECT_GT(dib.CountOther(0, 0, 200, 40, 0xFFFFFFFF), 30);
}

}  // namespace
}  // namespace pelmar
