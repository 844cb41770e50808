#include "pages/progress_view.h"

#include <mmsystem.h>
#include <shellapi.h>
#include <windowsx.h>

#include <mutex>

#include "download/downloader.h"
#include "base/pelmar_based_process.h"
#include "base/x_mutex.h"
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

// A setup program that could not be started, or did not end within its time,
// has no exit code; it is reported with this one.
constexpr uint32_t kNoExitCode = 0xFFFFFFFF;

struct DownloaderDeleter {
  void operator()(IDownloader* d) const {
    if (d) d->Destroy();
  }
};

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

// Everything the page keeps. The user-interface thread and the ticker's
// thread share the flags, the controller and the process under `mutex`; the
// resources, the icon and the window belong to the user-interface thread.
struct CProgressView::State {
  State(CProgressView* view, const PageContext& context) : view(view), context(context) {}

  CProgressView* view;
  const PageContext& context;
  HWND hwnd = nullptr;
  std::wstring installPath;
  CXMutex mutex;
  std::unique_ptr<CProgressTicker> ticker;                   // guarded by mutex
  std::unique_ptr<IDownloader, DownloaderDeleter> download;  // guarded by mutex
  std::unique_ptr<CPelmarBasedProcess> setup;                // guarded by mutex
  DWORD setupStartMs = 0;                                    // guarded by mutex
  bool finished = false;                                     // guarded by mutex
  bool installing = false;                                   // guarded by mutex
  bool joinedPlan = true;                                    // guarded by mutex
  bool trayIconShown = false;                                // guarded by mutex

  CMovieResource* banner = nullptr;
  // The banner's fetching and decoding; ends with this state, before the view
  // lets the banner widget go.
  std::unique_ptr<CMovieThread> bannerThread;
  CProgressResource* bar = nullptr;
  CTextResource* status = nullptr;

  static void TickRoutine(void* context) { static_cast<State*>(context)->Tick(); }
  void Tick();
  void OnSetupEnded(bool exitCodeRead, uint32_t exitCode);
  // False when the download holds no checked file (nothing is started).
  [[nodiscard]] bool StartSetup();
  void Stop();
  void Post(UINT msg, WPARAM wparam = 0) { PostMessageW(hwnd, msg, wparam, 0); }

  void AddTrayIcon();
  void RemoveTrayIcon();
  NOTIFYICONDATAW TrayIconData() const;

  LRESULT OnProgressTick();
  LRESULT OnFailure(bool download);
};

// --- the periodic tick (the ticker's thread) ---

void CProgressView::State::Tick() {
  std::lock_guard<CXMutex> lock(mutex);
  if (installing) {
    if (!setup) return;
    if (!setup->IsStarted()) {
      OnSetupEnded(false, 0);
      return;
    }
    if (!setup->Wait(1)) {
      if (SetupRanTooLong(sys::timeGetTime() - setupStartMs, context.progress.setupRunLimitMs)) {
        // Left running: waiting for it here would hold the page for ever.
        setup->SetWaitOnDestroy(false);
        OnSetupEnded(false, 0);
        return;
      }
      Post(WM_PROGRESS_TICK);
      return;
    }
    uint32_t code = 0;
    const bool read = setup->GetExitCode(&code);
    OnSetupEnded(read, code);
    return;
  }
  if (!download) return;
  switch (download->Poll()) {
    case IDownloader::kNew:
    case IDownloader::kRunning:
    case 2:
      Post(WM_PROGRESS_TICK);
      break;
    case IDownloader::kDestroying:
    case IDownloader::kFailed:
      SendDownloadFailedEvent(*context.events);
      installing = false;
      Stop();
      Post(WM_DOWNLOAD_FAILED);
      break;
    case IDownloader::kDone:
      if (!StartSetup()) {
        // The checked file is no longer held as checked: nothing is started,
        // and the download has failed.
        SendDownloadFailedEvent(*context.events);
        Stop();
        Post(WM_DOWNLOAD_FAILED);
        break;
      }
      SendInstallStartEvent(*context.events);
      setupStartMs = sys::timeGetTime();
      installing = true;
      Post(WM_PROGRESS_TICK);
      break;
    default:
      break;
  }
}

bool CProgressView::State::StartSetup() {
  // The process is created while the download still holds the file it
  // checked, so the program started is the one checked.
  return download->StartCheckedFile([this](const std::wstring& program) {
    setup = std::make_unique<CPelmarBasedProcess>(
        BuildSetupCommandLine(program, installPath, joinedPlan));
    // Success is judged by the exit code alone; a program that cannot be
    // started is found by the next tick.
    (void)setup->Start();
  });
}

void CProgressView::State::OnSetupEnded(bool exitCodeRead, uint32_t exitCode) {
  setup.reset();
  if (exitCodeRead && exitCode == 0) {
    finished = true;
    Post(WM_PROGRESS_TICK);
    return;
  }
  installing = false;
  SendInstallErrorEvent(*context.events, exitCodeRead ? exitCode : kNoExitCode);
  Stop();
  Post(WM_SETUP_FAILED);
}

// Also entered from the tick, on the ticker's thread, which already holds
// the mutex; from the user-interface thread the ticker is ended without it,
// because ending it waits for a tick that may be waiting for the mutex.
void CProgressView::State::Stop() {
  std::unique_ptr<CProgressTicker> ending;
  {
    std::lock_guard<CXMutex> lock(mutex);
    ending = std::move(ticker);
  }
  ending.reset();
  std::lock_guard<CXMutex> lock(mutex);
  // Waits for a setup program still running, as the run must not be cut.
  setup.reset();
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
  std::lock_guard<CXMutex> lock(mutex);
  if (trayIconShown) return;
  NOTIFYICONDATAW data = TrayIconData();
  trayIconShown = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

void CProgressView::State::RemoveTrayIcon() {
  std::lock_guard<CXMutex> lock(mutex);
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
  std::lock_guard<CXMutex> lock(state_->mutex);
  state_->download.reset();
}

void CProgressView::RequestStopWorkers() {
  state_->RemoveTrayIcon();  // the window may be left to the process exit
  if (state_->bannerThread) state_->bannerThread->RequestStop();
  std::lock_guard<CXMutex> lock(state_->mutex);
  if (state_->download) state_->download->RequestStop();
}

bool CProgressView::WorkersEnded() {
  if (state_->bannerThread && state_->bannerThread->IsRunning()) return false;
  std::lock_guard<CXMutex> lock(state_->mutex);
  return !state_->download || state_->download->ThreadsEnded();
}

void CProgressView::SetJoinPlan(bool joined) {
  std::lock_guard<CXMutex> lock(state_->mutex);
  state_->joinedPlan = joined;
}

void CProgressView::Start(const std::wstring& installPath) {
  State& s = *state_;
  s.Stop();
  bool started = false;
  {
    std::lock_guard<CXMutex> lock(s.mutex);
    s.installPath = installPath;
    if (!s.download) {
      const ProgressPageServices& services = s.context.progress;
      // The installer's controller needs services only the composition root
      // has (app/); it hands the page its factory.
      s.download.reset(services.createDownloader ? services.createDownloader() : nullptr);
    }
    started = s.download && s.download->Start();
    if (started) {
      s.banner->SetPaused(false);
      auto ticker = std::make_unique<CProgressTicker>(hwnd_, &State::TickRoutine, &s);
      if (ticker->running()) s.ticker = std::move(ticker);
    }
  }
  if (!started) PostMessageW(hwnd_, WM_DOWNLOAD_FAILED, 0, 0);
}

LRESULT CProgressView::State::OnProgressTick() {
  bool done = false;
  int percent = 0;
  {
    // One look at the state: the tick may finish the setup run at any moment.
    std::lock_guard<CXMutex> lock(mutex);
    done = finished;
    finished = false;
    if (!installing) {
      percent = download ? DownloadBarPercent(download->GetProgress()) : 0;
    } else if (setup) {
      percent = SetupBarPercent(sys::timeGetTime() - setupStartMs);
    }
  }
  if (done) {
    Stop();
    ShowWindow(hwnd, SW_SHOW);
    PostMessageW(hwnd, WM_GOTO_STEP, kStepFinished, 0);
    view->Invalidate();
    banner->SetPaused(true);
    return 0;
  }
  bar->SetPercent(static_cast<unsigned>(percent));
  status->SetText(StatusText(percent));
  view->Invalidate();
  return 0;
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
      view->Start(installPath);
    } else {
      PostMessageW(hwnd, WM_GOTO_STEP, kStepMain, 0);
      view->Invalidate();
    }
    return 0;
  }
  IBaseView::DialogFactory reminder;
  {
    std::lock_guard<CXMutex> lock(mutex);
    if (downloadFailed) {
      reminder = DownloadReminderDialog(context, download ? download->GetUrl() : "");
    } else {
      reminder = InstallReminderDialog(context, download ? download->GetFilePath() : L"");
    }
  }
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
