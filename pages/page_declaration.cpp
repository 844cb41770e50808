#include "pages/page_declaration.h"

#include <memory>
#include <utility>

#include "ui/layout_resource.h"
#include "ui/spacer_resource.h"

namespace pelmar {
namespace {

constexpr Argb kTransparent = 0x00FFFFFF;
constexpr Argb kWhite = 0xFFFFFFFF;
constexpr Argb kBorderGrey = 0xFFC0C0C0;
constexpr Argb kTextDark = 0xFF1A1A1A;
constexpr Argb kTextGrey = 0xFF4D4D4D;
constexpr Argb kTextMid = 0xFF666666;
constexpr Argb kWarningRed = 0xFFFF4D4F;
constexpr Argb kBlue = 0xFF084AF4;
constexpr Argb kBlueHover = 0xFF5E89F8;
constexpr Argb kBluePressed = 0xFF90ADFA;
constexpr Argb kDisabledFill = 0xFFD8D8D8;

constexpr int kAllStates = 4;

// Grey link text: normal and disabled grey, hover blue, pressed pale blue.
void SetLinkColours(WidgetStyleSet* s) {
  (*s)[kStateNormal].textColor = kTextGrey;
  (*s)[kStateHover].textColor = kBlue;
  (*s)[kStatePressed].textColor = kBluePressed;
  (*s)[kStateDisabled].textColor = kTextGrey;
}

ResourceDecl Drawn(DeclKind kind, int id, const WidgetStyleSet* styles) {
  ResourceDecl d;
  d.kind = kind;
  d.id = id;
  if (styles != nullptr) {
    d.hasStyles = true;
    d.styles = *styles;
  }
  return d;
}

}  // namespace

int PageWriter::Append(ResourceDecl decl) {
  entries_.push_back(std::move(decl));
  return static_cast<int>(entries_.size()) - 1;
}

int PageWriter::Layout(int direction, int parent, unsigned weight, const LayoutMargins& margins) {
  ResourceDecl d;
  d.kind = DeclKind::kLayout;
  d.direction = direction;
  d.margins = margins;
  d.parent = parent;
  d.weight = weight;
  return Append(std::move(d));
}

int PageWriter::Background(ResourceDecl decl, int parent) {
  decl.parent = parent;
  decl.background = true;
  decl.weight = 0;
  return Append(std::move(decl));
}

int PageWriter::Child(ResourceDecl decl, int parent, unsigned weight) {
  decl.parent = parent;
  decl.weight = weight;
  return Append(std::move(decl));
}

int PageWriter::Spacer(int parent, unsigned weight) {
  ResourceDecl d;
  d.kind = DeclKind::kSpacer;
  return Child(std::move(d), parent, weight);
}

std::vector<UiRect> LayOutDeclaration(const PageDeclaration& page, int width, int height) {
  std::vector<std::unique_ptr<IBaseResource>> made;
  for (const ResourceDecl& d : page) {
    if (d.kind == DeclKind::kLayout) {
      auto layout = std::make_unique<CLayoutResource>(d.direction);
      layout->SetMargins(d.margins.left, d.margins.top, d.margins.right, d.margins.bottom);
      layout->SetSpacing(d.margins.spacing);
      made.push_back(std::move(layout));
    } else {
      made.push_back(std::make_unique<CSpacerResource>());
    }
    if (d.parent < 0 || d.parent >= static_cast<int>(made.size()) - 1) continue;
    IBaseResource* parent = made[static_cast<size_t>(d.parent)].get();
    if (parent->type() != kTypeLayout) continue;
    auto* layout = static_cast<CLayoutResource*>(parent);
    if (d.background) {
      layout->SetBackground(made.back().get());
    } else {
      layout->AddChild(made.back().get(), d.weight);
    }
  }
  // A page too small for its margins leaves its slots where they were.
  if (!made.empty()) (void)made.front()->SetRect(0, 0, width, height);
  std::vector<UiRect> rects;
  rects.reserve(made.size());
  for (const auto& r : made) rects.push_back(r->rect());
  return rects;
}

ResourceDecl ImageDecl(int id, int imageType, const WidgetStyleSet* styles,
                       const std::wstring& picture) {
  ResourceDecl d = Drawn(DeclKind::kImage, id, styles);
  d.imageType = imageType;
  d.picture = picture;
  return d;
}

ResourceDecl TextDecl(int id, const WidgetStyleSet& styles, const std::wstring& text) {
  ResourceDecl d = Drawn(DeclKind::kText, id, &styles);
  d.text = text;
  return d;
}

ResourceDecl ButtonDecl(int id, const WidgetStyleSet& styles, const std::wstring& caption) {
  ResourceDecl d = Drawn(DeclKind::kButton, id, &styles);
  d.text = caption;
  return d;
}

ResourceDecl CheckboxDecl(int id, const WidgetStyleSet& styles, const std::wstring& caption,
                          const std::wstring& checkedPicture,
                          const std::wstring& uncheckedPicture) {
  ResourceDecl d = Drawn(DeclKind::kCheckbox, id, &styles);
  d.text = caption;
  d.picture = checkedPicture;
  d.picture2 = uncheckedPicture;
  return d;
}

ResourceDecl EditDecl(int id, const WidgetStyleSet& styles) {
  return Drawn(DeclKind::kEdit, id, &styles);
}

WidgetStyleSet PageBackgroundStyles() {
  WidgetStyleSet s;
  s[kStateNormal].fillColor = kWhite;
  s[kStateNormal].borderWidth = 1;
  s[kStateNormal].borderColor = kBorderGrey;
  return s;
}

WidgetStyleSet InstallButtonStyles() {
  WidgetStyleSet s;
  const Argb fills[kAllStates] = {kBlue, kBlueHover, kBluePressed, kDisabledFill};
  for (int i = 0; i < kAllStates; ++i) {
    s[i].textColor = kWhite;
    s[i].fillColor = fills[i];
    s[i].cornerRadius = 2;
    s[i].hAlign = kAlignCentre;
    s[i].vAlign = kAlignCentre;
    s[i].fontSize = 16;
  }
  return s;
}

WidgetStyleSet LinkStyles(bool underline) {
  WidgetStyleSet s;
  for (int i = 0; i < kAllStates; ++i) {
    s[i].fillColor = kTransparent;
    s[i].fontSize = 14;
    s[i].underline = underline && i != kStateDisabled;
  }
  SetLinkColours(&s);
  return s;
}

WidgetStyleSet TransparentButtonStyles() {
  WidgetStyleSet s;
  for (int i = kStateNormal; i <= kStatePressed; ++i) {
    s[i].fillColor = kTransparent;
    s[i].borderColor = kTransparent;
  }
  return s;
}

WidgetStyleSet TextStyles(Argb color, unsigned fontSize, int hAlign) {
  WidgetStyleSet s;
  s[kStateNormal].textColor = color;
  s[kStateNormal].fillColor = kTransparent;
  s[kStateNormal].fontSize = fontSize;
  s[kStateNormal].hAlign = hAlign;
  return s;
}

ResourceDecl CloseButtonDecl(int id) {
  const WidgetStyleSet styles = TransparentButtonStyles();
  ResourceDecl d = ButtonDecl(id, styles, L"");
  d.aspect = 1.0;
  d.icons[kStateNormal] = L"global_btn_close_normal.png";
  d.icons[kStateHover] = L"global_btn_close_hover.png";
  d.icons[kStatePressed] = L"global_btn_close_hover.png";
  return d;
}

PageDeclaration BeginPageDeclaration() {
  using namespace begin_ids;
  PageWriter w;
  const WidgetStyleSet page = PageBackgroundStyles();
  const int root = w.Layout(kLayoutVertical, kNoParent, 0, {20, 24, 20, 24, 0});
  w.Background(ImageDecl(kBackground, kTypeImage, &page, L"main_bg.png"), root);
  const int topBar = w.Layout(kLayoutHorizontal, root, 4);
  w.Spacer(topBar, 27);
  w.Child(CloseButtonDecl(kClose), topBar, 1);
  w.Spacer(root, 3);
  const int logoArea = w.Layout(kLayoutVertical, root, 42);
  w.Child(ImageDecl(kLogo, kTypeImageOpaque, nullptr, L"logo.png"), logoArea, 15);
  w.Child(TextDecl(kTitle, TextStyles(kTextDark, 24, kAlignCentre), kProductTitle), logoArea, 4);
  w.Child(TextDecl(kTitle, TextStyles(kWarningRed, 14, kAlignCentre), L""), root, 6);
  const int buttonRow = w.Layout(kLayoutHorizontal, root, 16);
  w.Spacer(buttonRow, 25);
  ResourceDecl install = ButtonDecl(kInstall, InstallButtonStyles(), L"立即安装");
  install.aspect = 3.5;
  w.Child(install, buttonRow, 21);
  w.Spacer(buttonRow, 25);
  w.Spacer(root, 10);
  const int agreementRow = w.Layout(kLayoutHorizontal, root, 6, {0, 10, 0, 0, 0});

  WidgetStyleSet check;
  for (int i = kStateNormal; i <= kStatePressed; ++i) {
    check[i].fillColor = kTransparent;
    check[i].borderColor = kTransparent;
  }
  for (int i = 0; i < kAllStates; ++i) check[i].fontSize = 14;
  check[kStateNormal].textColor = kTextGrey;
  check[kStateHover].textColor = kBlue;
  check[kStatePressed].textColor = kBluePressed;
  w.Child(CheckboxDecl(kAgreement, check, L"我已阅读并同意", L"main_checkbox_select.png",
                       L"main_checkbox_deselect.png"),
          agreementRow, 12);
  w.Child(ButtonDecl(kAgreementLink, LinkStyles(true), L"用户使用协议"), agreementRow, 10);
  ResourceDecl hint =
      TextDecl(kHint, TextStyles(kWarningRed, 12), L"（勾选已阅读用户协议后才能安装）");
  hint.visible = false;
  w.Child(hint, agreementRow, 20);
  WidgetStyleSet customStyles = LinkStyles(false);
  for (int i = 0; i < kAllStates; ++i) {
    customStyles[i].hAlign = kAlignFar;
    customStyles[i].iconPlacement = kIconRight;
  }
  ResourceDecl custom = ButtonDecl(kCustom, customStyles, L"自定义安装");
  custom.icons[kStateNormal] = L"main_word_custom_normal.png";
  custom.icons[kStateHover] = L"main_word_custom_hover.png";
  custom.icons[kStatePressed] = L"main_word_custom_press.png";
  custom.icons[kStateDisabled] = L"main_word_custom_normal.png";
  w.Child(custom, agreementRow, 10);
  return w.Take();
}

PageDeclaration CustomPageDeclaration() {
  using namespace custom_ids;
  PageWriter w;
  const WidgetStyleSet page = PageBackgroundStyles();
  const int root = w.Layout(kLayoutVertical, kNoParent, 0, {20, 24, 20, 0, 0});
  w.Background(ImageDecl(kBackground, kTypeImage, &page, L"main_bg.png"), root);
  const int topBar = w.Layout(kLayoutHorizontal, root, 4);
  WidgetStyleSet backStyles = LinkStyles(false);
  for (int i = 0; i < kAllStates; ++i) backStyles[i].fontSize = WidgetStyle().fontSize;
  ResourceDecl back = ButtonDecl(kBack, backStyles, L"返回");
  back.icons[kStateNormal] = L"custom_btn_back_normal.png";
  back.icons[kStateHover] = L"custom_btn_back_hover.png";
  back.icons[kStatePressed] = L"custom_btn_back_press.png";
  w.Child(back, topBar, 5);
  w.Spacer(topBar, 23);
  const int content = w.Layout(kLayoutVertical, root, 88, {24, 30, 24, 30, 0});
  w.Child(TextDecl(kLabel, TextStyles(kTextDark, 24), L"自定义安装"), content, 8);
  w.Spacer(content, 3);

  const WidgetStyleSet label = TextStyles(kTextGrey, 14);
  const WidgetStyleSet value = TextStyles(kTextDark, 14);
  const int pathRow = w.Layout(kLayoutHorizontal, content, 4);
  w.Child(TextDecl(kLabel, label, L"安装路径: "), pathRow, 8);
  WidgetStyleSet editStyles;
  for (int i = 0; i < kAllStates; ++i) {
    editStyles[i].textColor = kTextDark;
    editStyles[i].fillColor = kTransparent;
    editStyles[i].fontSize = 14;
  }
  ResourceDecl edit = EditDecl(kEdit, editStyles);
  edit.vMargin = 4;
  w.Child(edit, pathRow, 38);
  w.Child(ButtonDecl(kBrowse, LinkStyles(true), L"浏览"), pathRow, 4);
  w.Spacer(content, 3);

  const int spaceRow = w.Layout(kLayoutHorizontal, content, 4);
  w.Child(TextDecl(kLabel, label, L"所需空间: "), spaceRow, 8);
  w.Child(TextDecl(kRequired, value, L""), spaceRow, 8);
  w.Child(TextDecl(kLabel, label, L"可用空间: "), spaceRow, 8);
  w.Child(TextDecl(kAvailable, value, L""), spaceRow, 8);
  ResourceDecl diskFull =
      TextDecl(kDiskFull, TextStyles(kWarningRed, 12), L"（该磁盘分区可用空间不足）");
  diskFull.visible = false;
  w.Child(diskFull, spaceRow, 18);
  w.Spacer(content, 3);

  const int optionsRow = w.Layout(kLayoutHorizontal, content, 4);
  w.Child(TextDecl(kLabel, label, L"其它选项: "), optionsRow, 8);
  WidgetStyleSet check = LinkStyles(false);
  for (int i = 0; i < kAllStates; ++i) check[i].borderColor = kTransparent;
  ResourceDecl join = CheckboxDecl(kJoinPlan, check, L"同意并参加用户体验改善计划",
                                   L"main_checkbox_select.png", L"main_checkbox_deselect.png");
  join.vMargin = -4;
  w.Child(join, optionsRow, 42);
  w.Spacer(content, 2);

  const int buttonRow = w.Layout(kLayoutHorizontal, content, 18);
  w.Spacer(buttonRow, 24);
  ResourceDecl install = ButtonDecl(kInstall, InstallButtonStyles(), L"立即安装");
  install.aspect = 3.5;
  w.Child(install, buttonRow, 23);
  w.Spacer(buttonRow, 24);
  w.Child(TextDecl(kLabel, TextStyles(kWarningRed, 13, kAlignCentre), L""), content, 1);
  return w.Take();
}

PageDeclaration FinishedPageDeclaration() {
  using namespace finished_ids;
  PageWriter w;
  const WidgetStyleSet page = PageBackgroundStyles();
  const int root = w.Layout(kLayoutVertical, kNoParent, 0, {20, 24, 20, 24, 0});
  w.Background(ImageDecl(kBackground, kTypeImage, &page, L"main_bg.png"), root);
  const int topBar = w.Layout(kLayoutHorizontal, root, 4);
  w.Spacer(topBar, 27);
  w.Child(CloseButtonDecl(kClose), topBar, 1);
  w.Spacer(root, 3);
  const int logoArea = w.Layout(kLayoutVertical, root, 42);
  w.Child(ImageDecl(kLogo, kTypeImageOpaque, nullptr, L"logo.png"), logoArea, 15);
  w.Child(TextDecl(kText, TextStyles(kTextDark, 24, kAlignCentre), L"恭喜，安装成功"), logoArea, 4);
  w.Spacer(root, 2);
  // Declared after the root's spacer, yet part of the logo area.
  w.Child(TextDecl(kText, TextStyles(kTextMid, 16, kAlignCentre), L""), logoArea, 4);
  w.Spacer(root, 6);
  const int buttonRow = w.Layout(kLayoutHorizontal, root, 24);
  w.Spacer(buttonRow, 25);
  WidgetStyleSet launchStyles = InstallButtonStyles();
  ResourceDecl launch = ButtonDecl(kLaunch, launchStyles, L"立即体验");
  launch.aspect = 3.5;
  w.Child(launch, buttonRow, 21);
  w.Spacer(buttonRow, 25);
  return w.Take();
}

PageDeclaration DialogDeclaration(const DialogLook& look) {
  using namespace dialog_ids;
  PageWriter w;
  const int root = w.Layout(kLayoutVertical, kNoParent, 0);
  WidgetStyleSet window = PageBackgroundStyles();
  window[kStateNormal].cornerRadius = look.cornerRadius;
  w.Background(ImageDecl(kBackground, kTypeImage, &window), root);

  const int titleBar = w.Layout(kLayoutHorizontal, root, 3, {10, 5, 10, 5, 0});
  WidgetStyleSet titleBack;
  titleBack[kStateNormal].fillColor = 0xFFF9F9F9;
  titleBack[kStateNormal].borderWidth = 1;
  titleBack[kStateNormal].borderColor = look.titleBorderColor;
  titleBack[kStateNormal].cornerRadius = look.cornerRadius;
  ResourceDecl titleBackground = ImageDecl(kBackground, kTypeImage, &titleBack);
  titleBackground.hMargin = -1;
  titleBackground.vMargin = -2;
  w.Background(titleBackground, titleBar);
  w.Child(TextDecl(look.textId, TextStyles(kTextMid, 14), kProductTitle), titleBar, 27);
  if (look.closeButton) w.Child(CloseButtonDecl(kClose), titleBar, 1);

  const int content = w.Layout(kLayoutVertical, root, 17, {24, 16, 24, 16, 0});
  const int message = w.Layout(kLayoutVertical, content, 5);
  const int headlineRow = w.Layout(kLayoutHorizontal, message, 40);
  w.Child(ImageDecl(look.iconId, kTypeImageOpaque, nullptr, look.icon), headlineRow, 30);
  w.Spacer(headlineRow, 16);
  w.Child(TextDecl(look.textId, TextStyles(kTextDark, 14), look.headline), headlineRow, 300);
  const int bodyRow = w.Layout(kLayoutHorizontal, message, 60);
  w.Spacer(bodyRow, 30);
  w.Spacer(bodyRow, 16);
  WidgetStyleSet body = TextStyles(kTextMid, 14);
  body[kStateNormal].vAlign = kAlignNear;
  w.Child(TextDecl(look.textId, body, look.body), bodyRow, 300);

  const int buttonRow = w.Layout(kLayoutHorizontal, content, 2);
  w.Spacer(buttonRow, 15);
  WidgetStyleSet grey;
  const Argb greyFills[3] = {0xFFF2F2F2, 0xFFF2F2F2, kDisabledFill};
  const Argb greyText[3] = {kTextMid, 0xFF999999, kTextMid};
  for (int i = kStateNormal; i <= kStatePressed; ++i) {
    grey[i].fillColor = greyFills[i];
    grey[i].borderWidth = look.greyButtonBorder ? 1 : 0;
    grey[i].borderColor = greyFills[i];
    grey[i].textColor = greyText[i];
  }
  for (int i = 0; i < kAllStates; ++i) {
    grey[i].cornerRadius = 2;
    grey[i].hAlign = kAlignCentre;
    grey[i].fontSize = 14;
  }
  ResourceDecl left = ButtonDecl(kLeft, grey, look.leftCaption);
  left.aspect = 38.0 / 15.0;
  w.Child(left, buttonRow, 6);
  w.Spacer(buttonRow, 1);
  WidgetStyleSet blue;
  const Argb blueFills[3] = {kBlue, look.blueHoverFill, kBluePressed};
  for (int i = kStateNormal; i <= kStatePressed; ++i) blue[i].fillColor = blueFills[i];
  for (int i = 0; i < kAllStates; ++i) {
    blue[i].textColor = kWhite;
    blue[i].cornerRadius = 2;
    blue[i].hAlign = kAlignCentre;
    blue[i].vAlign = kAlignCentre;
    blue[i].fontSize = 14;
  }
  ResourceDecl right = ButtonDecl(kRight, blue, look.rightCaption);
  right.aspect = 38.0 / 15.0;
  w.Child(right, buttonRow, 6);
  return w.Take();
}

DialogLook WarnLook() {
  DialogLook l;
  l.icon = L"inquire_icon.png";
  l.closeButton = true;
  l.headline = L"确定要取消安装吗？";
  l.body = L"安装尚未开始，关闭窗口会取消安装，点击“取消”后继续安装。";
  l.leftCaption = L"确认";
  l.rightCaption = L"取消";
  return l;
}

DialogLook DownloadReminderLook() {
  DialogLook l;
  l.icon = L"error_icon.png";
  l.headline = L"网络异常";
  l.body = L"您的网络环境存在网络异常，需要手动下载软件必要组件，请点击“确认”开始下载。";
  l.leftCaption = L"确认";
  l.rightCaption = L"取消";
  l.iconId = 3;
  l.greyButtonBorder = false;
  return l;
}

DialogLook ErrorLook() {
  DialogLook l;
  l.icon = L"error_icon.png";
  l.headline = L"网络异常";
  l.body = L"检测到网络异常，必要组件无法加载，请检查网络后重试。";
  l.leftCaption = L"立即重试";
  l.rightCaption = L"稍后重试";
  l.iconId = 3;
  l.titleBorderColor = kBorderGrey;
  return l;
}

DialogLook InstallReminderLook() {
  DialogLook l;
  l.icon = L"error_icon.png";
  l.headline = L"配置环境异常";
  l.body =
      L"检测到配置环境存在一些问题，不过不用担心，已为您准备好安装包可供安装，是否确认手动安装？";
  l.leftCaption = L"确认";
  l.rightCaption = L"取消";
  l.iconId = 3;
  return l;
}

DialogLook ReminderLook() {
  DialogLook l;
  l.icon = L"inquire_icon.png";
  l.closeButton = true;
  l.headline = L"您已安装最新版本";
  l.body = L"点击“打开”运行软件，或点击“安装”重新安装软件。";
  l.leftCaption = L"打开";
  l.rightCaption = L"安装";
  l.iconId = 4;
  l.textId = 5;
  l.cornerRadius = 0;
  l.blueHoverFill = 0xFF90ADFA;
  return l;
}

}  // namespace pelmar
