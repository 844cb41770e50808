#include "ui/image_resource.h"

#include "ui/ui_test_fixture.h"
#include "ui/view_geometry.h"

namespace pelmar {
namespace {

using test::Dib;

constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kBrand = 0xFF084AF4;

class ImageResourceTest : public test::SkinTest {
 protected:
  WidgetStyleSet Styles(Argb fill, unsigned border = 0, int radius = 0,
                        Argb borderColour = 0xFFC0C0C0) {
    WidgetStyleSet set;
    set[kStateNormal].fillColor = fill;
    set[kStateNormal].borderWidth = border;
    set[kStateNormal].cornerRadius = radius;
    set[kStateNormal].borderColor = borderColour;
    return set;
  }
};

TEST_F(ImageResourceTest, FillBorderAndCorners) {
  struct Case {
    const char* what;
    Argb fill;
    unsigned border;
    int radius;
    double scale;
    // Probes: (x, y) and whether the pixel keeps the white background.
    std::vector<std::tuple<int, int, uint32_t>> probes;
  };
  // The resource covers (10, 10)-(110, 60).
  const Case cases[] = {
      {"square fill",
       kBrand,
       0,
       0,
       1.0,
       {{50, 30, kBrand},
        {10, 10, kBrand},
        {108, 58, kBrand},
        {9, 30, kWhite},
        {111, 30, kWhite},
        {50, 61, kWhite}}},
      {"transparent fill draws nothing",
       0x00FFFFFF,
       0,
       0,
       1.0,
       {{50, 30, kWhite}, {10, 10, kWhite}}},
      {"rounded corners leave the corner pixel",
       kBrand,
       0,
       10,
       1.0,
       {{50, 30, kBrand}, {10, 10, kWhite}, {109, 59, kWhite}, {10, 35, kBrand}}},
      {"one-pixel border around white",
       kWhite,
       1,
       0,
       1.0,
       {{10, 30, 0xFFC0C0C0}, {11, 30, kWhite}, {50, 30, kWhite}}},
      {"border grows with the display scale",
       kWhite,
       1,
       0,
       3.0,
       {{10, 30, 0xFFC0C0C0}, {11, 30, 0xFFC0C0C0}, {14, 30, kWhite}}},
      {"three nested rounded outlines",
       kWhite,
       3,
       4,
       1.0,
       {{10, 35, 0xFFC0C0C0},
        {11, 35, 0xFFC0C0C0},
        {12, 35, 0xFFC0C0C0},
        {15, 35, kWhite},
        {60, 10, 0xFFC0C0C0},
        {60, 11, 0xFFC0C0C0},
        {60, 15, kWhite}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetScale(c.scale);
    const WidgetStyleSet styles = Styles(c.fill, c.border, c.radius);
    CImageResource r(0, &styles, kTypeImage);
    ASSERT_TRUE(r.SetRect(10, 10, 110, 60));
    Dib dib(130, 80);
    EXPECT_TRUE(r.Draw(dib.dc()));
    for (const auto& [x, y, expected] : c.probes) {
      SCOPED_TRACE(testing::Message() << "(" << x << "," << y << ")");
      EXPECT_EQ(expected, dib.Pixel(x, y));
    }
  }
}

TEST_F(ImageResourceTest, InvisibleDrawsNothingAndStillSucceeds) {
  const WidgetStyleSet styles = Styles(kBrand, 2, 0);
  CImageResource r(0, &styles, kTypeImage);
  r.SetPicture(Picture(L"logo.png"));
  ASSERT_TRUE(r.SetRect(0, 0, 60, 60));
  r.SetVisible(false);
  Dib dib(60, 60);
  EXPECT_TRUE(r.Draw(dib.dc()));
  EXPECT_EQ(0, dib.CountOther(0, 0, 60, 60, kWhite));
}

TEST_F(ImageResourceTest, PictureIsCentredWithItsProportions) {
  CImageResource logo(1, nullptr, kTypeImageOpaque);
  logo.SetPicture(Picture(L"logo.png"));
  ASSERT_TRUE(logo.SetRect(0, 0, 200, 100));
  EXPECT_EQ((UiRect{50, 0, 150, 100}), logo.pictureRect());
  Dib dib(200, 100);
  EXPECT_TRUE(logo.Draw(dib.dc()));
  // The logo's blue tile in the middle, nothing left and right of the picture.
  const uint32_t centre = dib.Pixel(60, 50);
  EXPECT_GT(test::Blue(centre), 200);
  EXPECT_LT(test::Red(centre), 80);
  EXPECT_EQ(0, dib.CountOther(0, 0, 50, 100, kWhite));
  EXPECT_EQ(0, dib.CountOther(150, 0, 200, 100, kWhite));
  // Changing the pointer recomputes the picture rectangle; the same pointer does not.
  logo.SetPicture(Picture(L"install_banner.png"));
  EXPECT_EQ((UiRect{1, 0, 199, 100}), logo.pictureRect());  // 1200 x 604 is just under 2:1
}

TEST_F(ImageResourceTest, AspectRatioAndMarginsPlaceTheResource) {
  CImageResource r(0, nullptr, kTypeImage);
  r.SetAspectRatio(3.5);
  ASSERT_TRUE(r.SetRect(0, 0, 210, 80));
  EXPECT_EQ((UiRect{0, 10, 210, 70}), r.rect());
  CImageResource m(0, nullptr, kTypeImage);
  m.SetMargins(0, 4);
  SetScale(1.5);
  ASSERT_TRUE(m.SetRect(0, 10, 200, 40));
  EXPECT_EQ((UiRect{0, 4, 200, 46}), m.rect());
}

TEST_F(ImageResourceTest, MarginsMoveTheDrawnFill) {
  struct Case {
    const char* what;
    int hMargin, vMargin;
    // Probes: (x, y) and the colour expected there.
    std::vector<std::tuple<int, int, uint32_t>> probes;
  };
  // The slot is (20, 20)-(120, 50); the fill follows the placed rectangle.
  const Case cases[] = {
      // The dialogs' title background: one pixel in at the sides, two at top and bottom.
      {"margins -1/-2 shrink",
       -1,
       -2,
       {{20, 35, kWhite},
        {21, 35, kBrand},
        {117, 35, kBrand},
        {120, 35, kWhite},
        {60, 20, kWhite},
        {60, 21, kWhite},
        {60, 22, kBrand},
        {60, 46, kBrand},
        {60, 49, kWhite}}},
      // A positive margin reaches past the slot on both sides.
      {"margins 3/4 grow",
       3,
       4,
       {{17, 35, kBrand},
        {16, 35, kWhite},
        {121, 35, kBrand},
        {60, 16, kBrand},
        {60, 15, kWhite},
        {60, 52, kBrand},
        {60, 55, kWhite}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const WidgetStyleSet styles = Styles(kBrand);
    CImageResource r(0, &styles, kTypeImage);
    r.SetMargins(c.hMargin, c.vMargin);
    ASSERT_TRUE(r.SetRect(20, 20, 120, 50));
    Dib dib(140, 70);
    r.Draw(dib.dc());
    for (const auto& [x, y, colour] : c.probes) {
      EXPECT_EQ(colour, dib.Pixel(x, y)) << "at " << x << "," << y;
    }
  }
}

TEST_F(ImageResourceTest, FillKeepsFullAlphaOnATransparentSurface) {
  // Layered windows take each pixel's alpha from the DIB: drawn pixels must be opaque.
  const WidgetStyleSet styles = Styles(kBrand, 1, 0, 0xFFC0C0C0);
  CImageResource r(0, &styles, kTypeImage);
  ASSERT_TRUE(r.SetRect(0, 0, 40, 40));
  Dib dib(50, 50, 0x00000000);
  r.Draw(dib.dc());
  EXPECT_EQ(0xFF, test::Alpha(dib.Pixel(20, 20)));
  EXPECT_EQ(kBrand, dib.Pixel(20, 20));
  EXPECT_EQ(0u, dib.Pixel(45, 45));
}

TEST_F(ImageResourceTest, UndecodablePictureDrawsNothing) {
  // A skin file that is not a picture still gives an image object; it draws nothing.
  test::ScratchDir other;
  CreateDirectoryW(other.Join(L"images").c_str(), nullptr);
  test::WriteFileBytes(other.Join(L"images\\broken.png"), "not a png");
  RecordingEventSink log;
  CResourceManager mgr(other.path(), &log);
  Gdiplus::Image* broken = mgr.GetImage(L"broken.png");
  ASSERT_NE(nullptr, broken);
  CImageResource r(0, nullptr, kTypeImage);
  r.SetPicture(broken);
  ASSERT_TRUE(r.SetRect(0, 0, 40, 40));
  Dib dib(40, 40);
  EXPECT_TRUE(r.Draw(dib.dc()));
  EXPECT_EQ(0, dib.CountOther(0, 0, 40, 40, kWhite));
}

}  // namespace
}  // namespace pelmar
