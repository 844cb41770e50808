#include "pages/progress_view.h"

#include <mmsystem.h>
#include <shellapi.h>
#include <windowsx.h>

#include <cstdint>

#include "download/downloader.h"
#include "download/install_run.h"
#include "download/process_setup_runner.h"
#include "pages/failure_counter.h"
#include "pages/progress_dialogs.h"
#include "pages/progress_events.h"
#include "pages/progress_rules.h"
#include "pages/progress_ticker.h"
#include "pelmar_config.h"
#include "services/movie_thread.h"
#include "ui/button_resource.h"
#include "ui/image_resource.h"
#include "ui/layout_resource.h"
#include "ui/movie_resource.h"
#include "ui/progress_resource.h"
#include "ui/resource_manager.h"
#include "ui/spacer_resource.h"
#include "ui/text_resource.h"
#include "pages/page_messages.h"
#include "ui/window_messages.h"
#include "base/win/system_api.h"

namespace pelmar {
namespace {

// Resource ids the page's rules look at.
constexpr int kHideButtonId = 1;
constexpr int kBannerId = 3;
constexpr int kStatusTextId = 5;
constexpr int kLayoutId = 6;

// The installer's application id, in the banner's configuration request.
constexpr const char* kBannerConfigPath = config::kBannerConfigPath;
constexpr const wchar_t kTrayTip[] = L"Tovren软件已最小化，点击弹出";
// The program's icon resource.
constexpr int kProgramIconId = 102;

// The error dialog's types.
constexpr int kDownloadErrorType = 1;
constexpr int kSetupErrorType = 2;

// Window properties for whoever measures the page from outside its process,
// in microseconds: the longest tick that painted the run's progress, and the
// tick that acted on the run's end (it also ends the ticker and the worker
// and shows the window).
constexpr wchar_t kLongestTickProperty[] = L"PelmarLongestProgressTickUs";
constexpr wchar_t kEndTickProperty[] = L"PelmarProgressEndTickUs";
// How many painting ticks ran, and how many of them took longer than a frame.
constexpr wchar_t kTickCountProperty[] = L"PelmarProgressTicks";
constexpr wchar_t kSlowTickCountProperty[] = L"PelmarProgressSlowTicks";
constexpr int64_t kFrameUs = 16000;

WidgetStyleSet HideButtonStyles() {
  WidgetStyleSet s;
  const Argb text[4] = {0xFF4D4D4D, 0xFF084AF4, 0xFF90ADFA, 0xFF4D4D4D};
  for (int i = 0; i < 4; ++i) {
    s[i].textColor = text[i];
    s[i].fillColor = 0x00FFFFFF;
    s[i].borderColor = 0x00FFFFFF;
    s[i].fontSize = 14;
    s[i].hAlign = kAlignFar;
  }
  return s;
}

MouseScheme PageMouseScheme() {
  MouseScheme scheme;
  scheme.passiveTypes = {kTypeImage, kTypeImageOpaque, kTypeText, kTypeProgress, kTypeSpacer};
  scheme.notTopmostOnPress = true;
  scheme.dragOnPress = true;
  scheme.postsClick = [](const IBaseResource& r) {
    return r.type() == kTypeButton && r.id() == kHideButtonId;
  };
  return scheme;
}

}  // namespace

// Everything the page keeps. The install run works on its own worker; the
// page's tick only reads its snapshot. The resources, the icon and the
// window belong to the user-interface thread, which alone enters State.
struct CProgressView::State {
  State(CProgressView* view, const PageContext& context) : view(view), context(context) {}

  CProgressView* view;
  const PageContext& context;
  HWND hwnd = nullptr;
  bool joinedPlan = true;
  std::unique_ptr<CProgressTicker> ticker;
  CProcessSetupRunner setupRunner;
  std::unique_ptr<CInstallRun> run;
  // Set by Start, cleared once the run's end (finished or failed) has been
  // acted on, so a tick still queued then does nothing.
  bool watching = false;
  bool trayIconShown = false;
  // The percentage on the bar and in the text; -1 until a run's first tick.
  int shownPercent = -1;
  int64_t longestTickUs = 0;
  int64_t ticks = 0;
  int64_t slowTicks = 0;

  CMovieResource* banner = nullptr;
  // The banner's fetching and decoding; ends with this state, before the view
  // lets the banner widget go.
  std::unique_ptr<CMovieThread> bannerThread;
  CProgressResource* bar = nullptr;
  CTextResource* status = nullptr;

  // On the ticker's thread: only asks the user-interface thread to look.
  static void TickRoutine(void* context) {
    PostMessageW(static_cast<State*>(context)->hwnd, WM_PROGRESS_TICK, 0, 0);
  }
  CInstallRun& Run();
  void Stop();

  void AddTrayIcon();
  void RemoveTrayIcon();
  NOTIFYICONDATAW TrayIconData() const;

  LRESULT OnProgressTick();
  void ShowSnapshot(const InstallSnapshot& snapshot);
  // Once per run: the finished step, or the failure's message.
  void OnRunEnded(const InstallSnapshot& snapshot);
  // The microseconds since `began`, rounded up (any tick counts at least one).
  static int64_t MicrosecondsSince(const LARGE_INTEGER& began);
  void SetMeasure(const wchar_t* property, int64_t value);
  void RecordPaintingTick(int64_t us);
  LRESULT OnFailure(bool download);
};

CInstallRun& CProgressView::State::Run() {
  if (!run) {
    const ProgressPageServices& services = context.progress;
    InstallRunServices runServices;
    runServices.createDownloader = services.createDownloader;
    runServices.setupRunner = &setupRunner;
    runServices.events = context.events;
    runServices.setupRunLimitMs = services.setupRunLimitMs;
    runServices.pollPeriodMs = CProgressTicker::kPeriodMs;
    run = std::make_unique<CInstallRun>(std::move(runServices));
  }
  return *run;
}

// Ends the ticker and the run's worker (waiting for a setup program still
// running, as the run must not be cut) and takes the icon away.
void CProgressView::State::Stop() {
  ticker.reset();
  if (run) run->Stop();
  RemoveTrayIcon();
}

// --- notification area ---

NOTIFYICONDATAW CProgressView::State::TrayIconData() const {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = hwnd;
  data.uID = 0;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = WM_TRAY_NOTIFY;
  data.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kProgramIconId));
  if (!data.hIcon) data.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  lstrcpynW(data.szTip, kTrayTip, static_cast<int>(sizeof(data.szTip) / sizeof(wchar_t)));
  return data;
}

void CProgressView::State::AddTrayIcon() {
  if (trayIconShown) return;
  NOTIFYICONDATAW data = TrayIconData();
  trayIconShown = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

void CProgressView::State::RemoveTrayIcon() {
  if (!trayIconShown) return;
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = hwnd;
  data.uID = 0;
  Shell_NotifyIconW(NIM_DELETE, &data);
  trayIconShown = false;
}

// --- the page ---

CProgressView::CProgressView(HWND hwnd, IResourceMgr* resources, const PageContext& context)
    : IBaseView(hwnd, resources), state_(std::make_unique<State>(this, context)) {
  State& s = *state_;
  s.hwnd = hwnd;

  auto* root = Add(std::make_unique<CLayoutResource>(kLayoutVertical, kLayoutId));
  WidgetStyleSet pageStyle;
  pageStyle[0].fillColor = 0xFFFFFFFF;
  pageStyle[0].borderWidth = 1;
  pageStyle[0].borderColor = 0xFFC0C0C0;
  auto* page = Add(std::make_unique<CImageResource>(0, &pageStyle, kTypeImage));
  root->SetBackground(page);

  auto* bannerArea = Add(std::make_unique<CLayoutResource>(kLayoutVertical, kLayoutId));
  bannerArea->SetMargins(20, 24, 20, 0);
  const ProgressPageServices& services = context.progress;
  const ServerEndpoint config =
      services.bannerConfig.host.empty()
          ? ServerEndpoint{config::kGateway.host, static_cast<uint16_t>(config::kGateway.port)}
          : services.bannerConfig;
  Gdiplus::Image* fallback = resources ? resources->GetImage(L"install_banner.png") : nullptr;
  s.banner = Add(std::make_unique<CMovieResource>(hwnd, fallback, kBannerId, nullptr));
  s.bannerThread = std::make_unique<CMovieThread>(s.banner, config, kBannerConfigPath);
  bannerArea->SetBackground(s.banner);

  auto* hideRow = Add(std::make_unique<CLayoutResource>(kLayoutHorizontal, kLayoutId));
  auto* hideSpace = Add(std::make_unique<CSpacerResource>());
  const WidgetStyleSet hideStyles = HideButtonStyles();
  auto* hide = Add(std::make_unique<CButtonResource>(kHideButtonId, L"隐藏窗口", &hideStyles));
  hideRow->AddChild(hideSpace, 5);
  hideRow->AddChild(hide, 1);
  auto* bannerSpace = Add(std::make_unique<CSpacerResource>());
  bannerArea->AddChild(hideRow, 1);
  bannerArea->AddChild(bannerSpace, 10);

  auto* statusArea = Add(std::make_unique<CLayoutResource>(kLayoutVertical, kLayoutId));
  statusArea->SetMargins(48, 0, 48, 24);
  WidgetStyleSet textStyle;
  textStyle[0].textColor = 0xFF4D4D4D;
  textStyle[0].fillColor = 0x00FFFFFF;
  textStyle[0].fontSize = 14;
  auto* above = Add(std::make_unique<CSpacerResource>());
  s.status = Add(std::make_unique<CTextResource>(kStatusTextId, &textStyle, StatusText(0)));
  auto* between = Add(std::make_unique<CSpacerResource>());
  WidgetStyleSet barStyle;
  barStyle[0].textColor = 0xFF084AF4;
  barStyle[0].fillColor = 0xFFEEEEEE;
  barStyle[0].cornerRadius = 100;
  s.bar = Add(std::make_unique<CProgressResource>(&barStyle));
  auto* below = Add(std::make_unique<CSpacerResource>());
  statusArea->AddChild(above, 6);
  statusArea->AddChild(s.status, 6);
  statusArea->AddChild(between, 3);
  statusArea->AddChild(s.bar, 2);
  statusArea->AddChild(below, 3);

  root->AddChild(bannerArea, 3);
  root->AddChild(statusArea, 1);

  RECT client{};
  GetClientRect(hwnd, &client);
  (void)root->SetRect(client.left, client.top, client.right, client.bottom);
}

CProgressView::~CProgressView() {
  state_->Stop();
  state_->run.reset();
}

void CProgressView::RequestStopWorkers() {
  state_->RemoveTrayIcon();  // the window may be left to the process exit
  if (state_->bannerThread) state_->bannerThread->RequestStop();
  if (state_->run) state_->run->RequestQuit();
}

bool CProgressView::WorkersEnded() {
  if (state_->bannerThread && state_->bannerThread->IsRunning()) return false;
  return !state_->run || state_->run->WorkersEnded();
}

void CProgressView::SetJoinPlan(bool joined) { state_->joinedPlan = joined; }

void CProgressView::Start() {
  State& s = *state_;
  s.Stop();
  s.watching = false;
  s.shownPercent = -1;
  if (!s.Run().Start(s.context.installTarget->path(), s.joinedPlan)) {
    PostMessageW(hwnd_, WM_DOWNLOAD_FAILED, 0, 0);
    return;
  }
  s.watching = true;
  s.banner->SetPaused(false);
  auto ticker = std::make_unique<CProgressTicker>(hwnd_, &State::TickRoutine, &s);
  if (ticker->running()) s.ticker = std::move(ticker);
}

LRESULT CProgressView::State::OnProgressTick() {
  if (!watching || !run) return 0;
  LARGE_INTEGER began{};
  QueryPerformanceCounter(&began);
  const InstallSnapshot snapshot = run->Snapshot();
  const bool ended =
      snapshot.phase == InstallPhase::kFinished || snapshot.phase == InstallPhase::kFailed;
  if (ended) {
    OnRunEnded(snapshot);
  } else {
    ShowSnapshot(snapshot);
  }
  const int64_t us = MicrosecondsSince(began);
  if (ended) {
    SetMeasure(kEndTickProperty, us);
    SetMeasure(kTickCountProperty, ticks);
  } else {
    RecordPaintingTick(us);
  }
  return 0;
}

void CProgressView::State::RecordPaintingTick(int64_t us) {
  // Kept here and published at the run's end: a property is a server call
  // under Wine, which a tick that changes nothing should not make.
  ++ticks;
  if (us > kFrameUs) SetMeasure(kSlowTickCountProperty, ++slowTicks);
  if (us <= longestTickUs) return;
  longestTickUs = us;
  SetMeasure(kLongestTickProperty, us);
}

void CProgressView::State::OnRunEnded(const InstallSnapshot& snapshot) {
  watching = false;
  Stop();
  if (snapshot.phase == InstallPhase::kFailed) {
    PostMessageW(hwnd,
                 snapshot.failure == InstallFailure::kSetup ? WM_SETUP_FAILED : WM_DOWNLOAD_FAILED,
                 0, 0);
    return;
  }
  // Straight to the finished step: the bar never shows 100 % here.
  ShowWindow(hwnd, SW_SHOW);
  PostMessageW(hwnd, WM_GOTO_STEP, kStepFinished, 0);
  view->Invalidate();
  banner->SetPaused(true);
}

void CProgressView::State::ShowSnapshot(const InstallSnapshot& snapshot) {
  // An unchanged percentage needs no repaint; the banner repaints its own frames.
  if (snapshot.percent == shownPercent) return;
  shownPercent = snapshot.percent;
  bar->SetPercent(static_cast<unsigned>(snapshot.percent));
  status->SetText(StatusText(snapshot.percent));
  view->Invalidate();
}

int64_t CProgressView::State::MicrosecondsSince(const LARGE_INTEGER& began) {
  LARGE_INTEGER ended{};
  LARGE_INTEGER frequency{};
  QueryPerformanceCounter(&ended);
  QueryPerformanceFrequency(&frequency);
  if (frequency.QuadPart <= 0) return 0;
  return ((ended.QuadPart - began.QuadPart) * 1000000 + frequency.QuadPart - 1) /
         frequency.QuadPart;
}

void CProgressView::State::SetMeasure(const wchar_t* property, int64_t value) {
  SetPropW(hwnd, property, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value)));
}

LRESULT CProgressView::State::OnFailure(bool downloadFailed) {
  CFailureCounter& counter =
      downloadFailed ? CFailureCounter::Downloads() : CFailureCounter::Setups();
  const int count = counter.Record();
  ReleaseCapture();
  banner->SetPaused(true);
  ShowWindow(hwnd, SW_SHOW);
  if (CFailureCounter::OffersRetry(count)) {
    const bool retry = view->RunModalDialog(
        ProgressErrorDialog(context, downloadFailed ? kDownloadErrorType : kSetupErrorType),
        /*retryConfirms=*/true);
    if (retry) {
      view->Start();
    } else {
      PostMessageW(hwnd, WM_GOTO_STEP, kStepMain, 0);
      view->Invalidate();
    }
    return 0;
  }
  // The run has ended (its worker with it): the download may be asked.
  CInstallRun& ended = Run();
  const IBaseView::DialogFactory reminder =
      downloadFailed ? DownloadReminderDialog(context, ended.DownloadUrl())
                     : InstallReminderDialog(context, ended.SetupProgramPath());
  (void)view->RunModalDialog(reminder);
  PostQuitMessage(0);
  return 0;
}

LRESULT CProgressView::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  static const MouseScheme scheme = PageMouseScheme();
  State& s = *state_;
  // Keys move the focus and press the hide button; with no close button and
  // closing refused during this step, Esc does nothing.
  if (LRESULT result = 0; HandleAccessMessage(msg, wparam, lparam, &result)) return result;
  switch (msg) {
    case WM_PAINT:
      return DoubleBufferedPaint();
    case WM_MOUSEMOVE:
      return OnMouseMove(scheme, wparam, lparam);
    case WM_LBUTTONDOWN: {
      SetWindowPos(hwnd_, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      const LRESULT result = DefWindowProcW(hwnd_, msg, wparam, lparam);
      const int index = HitTest(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
      IBaseResource* hit = At(index);
      // The hide button takes the press once; pressing it again, or anywhere
      // else, drags the window.
      if (hit && hit->type() == kTypeButton && hit->id() == kHideButtonId &&
          static_cast<CImageResource*>(hit)->state() != kStatePressed) {
        if (ApplyStateRule(index, WM_LBUTTONDOWN)) Invalidate();
        return result;
      }
      ReleaseCapture();
      SendMessageW(hwnd_, WM_NCLBUTTONDOWN, HTCAPTION, 0);
      return result;
    }
    case WM_LBUTTONUP:
      return OnLButtonUp(scheme, wparam, lparam);
    case WM_RESOURCE_CLICKED: {
      if (ApplyStateRule(static_cast<int>(wparam), WM_RESOURCE_CLICKED)) Invalidate();
      IBaseResource* clicked = At(static_cast<int>(wparam));
      if (!clicked || clicked->id() != kHideButtonId) return 0;
      SendHiddenToTrayAction(*state_->context.actions);
      ShowWindow(hwnd_, SW_HIDE);
      s.AddTrayIcon();
      s.banner->SetPaused(true);
      return 0;
    }
    case WM_TRAY_NOTIFY:
      if (lparam == WM_LBUTTONUP || lparam == WM_RBUTTONUP) {
        ShowWindow(hwnd_, SW_SHOW);
        s.banner->SetPaused(false);
        s.RemoveTrayIcon();
        SendRestoredFromTrayAction(*state_->context.actions);
      }
      return 0;
    case WM_DOWNLOAD_FAILED:
      return s.OnFailure(true);
    case WM_SETUP_FAILED:
      return s.OnFailure(false);
    case WM_PROGRESS_TICK:
      return s.OnProgressTick();
    case WM_MOVIE_FRAME:
      Invalidate();
      return 0;
    case WM_BRING_TO_FRONT:
      ShowWindow(hwnd_, SW_SHOW);
      s.RemoveTrayIcon();
      ShowWindow(hwnd_, SW_RESTORE);
      Show(hwnd_, true);
      return 0;
    default:
      return DefWindowProcW(hwnd_, msg, wparam, lparam);
  }
}

}  // namespace pelmar
