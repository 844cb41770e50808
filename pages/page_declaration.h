#pragma once

#include <array>
#include <string>
#include <vector>

#include "ui/view_geometry.h"
#include "ui/widget_geometry.h"
#include "ui/widget_style.h"

namespace pelmar {

// A page written as data: one entry per resource, in the order the resources
// enter the view's list (the list index is what click messages carry). The
// Windows builder turns the entries into widgets and wires the layouts; the
// tables themselves are portable so their shape is tested natively.

enum class DeclKind { kLayout, kImage, kButton, kCheckbox, kText, kEdit, kSpacer };

inline constexpr int kNoParent = -1;
inline constexpr int kNoId = -1;

struct ResourceDecl {
  DeclKind kind = DeclKind::kSpacer;
  int id = kNoId;
  int parent = kNoParent;   // list index of the parent layout
  unsigned weight = 0;      // share of the parent layout
  bool background = false;  // the parent's background rather than a child
  // Layouts.
  int direction = kLayoutVertical;
  LayoutMargins margins;
  // Drawn resources.
  int imageType = kTypeImage;  // images: 0 looked through, 1 opaque
  bool hasStyles = false;      // false: the widget's own defaults
  WidgetStyleSet styles;
  std::wstring text;                  // caption or text
  std::wstring picture;               // image; check box: the ticked picture
  std::wstring picture2;              // check box: the unticked picture
  std::array<std::wstring, 4> icons;  // button icons by state
  double aspect = 0.0;
  int hMargin = 0;
  int vMargin = 0;
  bool visible = true;
};

using PageDeclaration = std::vector<ResourceDecl>;

// Appends entries and answers their list index, so that a table names its
// parents instead of counting.
class PageWriter {
 public:
  int Layout(int direction, int parent, unsigned weight, const LayoutMargins& margins = {});
  // The resource that receives the whole rectangle of layout `parent`.
  int Background(ResourceDecl decl, int parent);
  int Child(ResourceDecl decl, int parent, unsigned weight);
  int Spacer(int parent, unsigned weight);
  ResourceDecl& At(int index) { return entries_[static_cast<size_t>(index)]; }
  PageDeclaration Take() { return std::move(entries_); }

 private:
  int Append(ResourceDecl decl);
  PageDeclaration entries_;
};

// Every entry's rectangle when the root is laid out over (0, 0, width,
// height) at the current display scale. The weighted layouts are the real
// ones; drawn widgets are plain slots (no aspect ratio or margins applied), so
// a slot's centre is where the widget is. For tests and clicks from outside.
std::vector<UiRect> LayOutDeclaration(const PageDeclaration& page, int width, int height);

// Entry makers; the styles are given in full by the caller.
ResourceDecl ImageDecl(int id, int imageType, const WidgetStyleSet* styles,
                       const std::wstring& picture = L"");
ResourceDecl TextDecl(int id, const WidgetStyleSet& styles, const std::wstring& text);
ResourceDecl ButtonDecl(int id, const WidgetStyleSet& styles, const std::wstring& caption);
ResourceDecl CheckboxDecl(int id, const WidgetStyleSet& styles, const std::wstring& caption,
                          const std::wstring& checkedPicture, const std::wstring& uncheckedPicture);
ResourceDecl EditDecl(int id, const WidgetStyleSet& styles);

// Styles the pages share.
WidgetStyleSet PageBackgroundStyles();      // white, 1-pixel grey border
WidgetStyleSet InstallButtonStyles();       // the blue "立即安装" button
WidgetStyleSet LinkStyles(bool underline);  // grey link text, blue on hover
WidgetStyleSet TransparentButtonStyles();   // picture-only buttons (close)
WidgetStyleSet TextStyles(Argb color, unsigned fontSize, int hAlign = kAlignNear);

// A close button of the title bar: transparent, square, two pictures.
ResourceDecl CloseButtonDecl(int id);

// Ids the pages' rules look at.
namespace begin_ids {
inline constexpr int kBackground = 0;
inline constexpr int kLogo = 1;
inline constexpr int kClose = 2;
inline constexpr int kInstall = 3;
inline constexpr int kCustom = 4;
inline constexpr int kAgreementLink = 5;
inline constexpr int kAgreement = 6;
inline constexpr int kHint = 7;
inline constexpr int kTitle = 8;
}  // namespace begin_ids

namespace custom_ids {
inline constexpr int kBackground = 0;
inline constexpr int kBack = 1;
inline constexpr int kBrowse = 2;
inline constexpr int kInstall = 3;
inline constexpr int kEdit = 5;
inline constexpr int kRequired = 6;
inline constexpr int kAvailable = 7;
inline constexpr int kDiskFull = 8;
inline constexpr int kJoinPlan = 9;
inline constexpr int kLabel = 10;
}  // namespace custom_ids

namespace finished_ids {
inline constexpr int kBackground = 0;
inline constexpr int kClose = 1;
inline constexpr int kLaunch = 2;
inline constexpr int kLogo = 3;
inline constexpr int kText = 4;
}  // namespace finished_ids

// The main page (600 x 400): logo, title, install button, agreement row.
PageDeclaration BeginPageDeclaration();
// The custom install page: path, sizes, experience plan, install button.
PageDeclaration CustomPageDeclaration();
// The finished page: congratulation and "立即体验".
PageDeclaration FinishedPageDeclaration();

// What one member of the dialog family changes in the shared 400 x 200 layout.
struct DialogLook {
  std::wstring icon;  // skin picture of the headline's icon
  bool closeButton = false;
  std::wstring headline;
  std::wstring body;
  std::wstring leftCaption;   // grey button, id 1
  std::wstring rightCaption;  // blue button, id 2
  int iconId = 5;
  int textId = 4;  // title, headline and body
  int cornerRadius = 4;
  Argb titleBorderColor = 0x00FFFFFF;
  bool greyButtonBorder = true;
  Argb blueHoverFill = 0xFF5E89F8;
};

namespace dialog_ids {
inline constexpr int kBackground = 0;
inline constexpr int kLeft = 1;
inline constexpr int kRight = 2;
inline constexpr int kClose = 3;
}  // namespace dialog_ids

PageDeclaration DialogDeclaration(const DialogLook& look);

// The five members.
DialogLook WarnLook();
DialogLook DownloadReminderLook();
DialogLook ErrorLook();
DialogLook InstallReminderLook();
DialogLook ReminderLook();

// The product's name as every title shows it.
inline constexpr wchar_t kProductTitle[] = L"Morvantile";

}  // namespace pelmar
