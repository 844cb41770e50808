#include "app/main_window.h"

#include <ctime>
#include <mutex>

#include "base/app_context.h"
#include "app/app_info.h"
#include "base/file_system.h"
#include "services/installer_settings.h"
#include "app/launch_rules.h"
#include "base/path_rules.h"
#include "app/run_cache_directory.h"
#include "app/single_instance.h"
#include "app/step_rules.h"
#include "app/system_queries.h"
#include "app/welcome_address.h"
#include "base/pelmar_error.h"
#include "base/text_convert.h"
#include "pages/begin_view.h"
#include "pages/custome_view.h"
#include "pages/finished_view.h"
#include "pages/page_rules.h"
#include "pages/progress_view.h"
#include "pages/reminder_view.h"
#include "services/machine_identity.h"
#include "base/md5.h"
#include "services/pkg_info.h"
#include "services/server_info.h"
#include "services/ts_report_thread.h"
#include "ui/resource_manager.h"
#include "pages/page_messages.h"
#include "ui/window_messages.h"
#include "pelmar_config.h"

namespace pelmar {
namespace {

// The reinstall decision waits this long for the package record.
constexpr int kPackagePolls = 40;
constexpr DWORD kPackagePollMs = 50;
// How often the quit looks whether the pages' workers have ended.
constexpr DWORD kWorkerPollMs = 10;

int64_t RequiredBytes() {
  IPkgInfo* pkg = GetPkgInfo();
  return pkg ? pkg->OriginSize() : kDefaultOriginSize;
}

std::string PackageVersion() {
  IPkgInfo* pkg = GetPkgInfo();
  return pkg ? WithoutControlCharacters(pkg->Version()) : std::string();
}

std::string NowSecondsText() { return std::to_string(static_cast<long long>(std::time(nullptr))); }

std::string RunChannel() {
  AppContext* ctx = GetAppContext();
  if (!ctx) return {};
  std::lock_guard<CXMutex> lock(ctx->mutex);
  return ctx->channel;
}

}  // namespace

MainWindow::MainWindow(UrlOpener openUrl, PageContext pages)
    : IBaseWindow(400, nullptr, kMainWindowClassName, 600),
      installTarget_(&RequiredBytes, &FreeSpace),
      pages_(std::move(pages)),
      openUrl_(std::move(openUrl)) {
  pages_.installTarget = &installTarget_;
  resources_.reset(CreateResourceManager(RunCacheDirectory()));
  if (!resources_) {
    MessageBoxW(hwnd_, L"软件加载必要运行组建失败", L"错误", MB_OK);
    throw PelmarError("Create ResMgr error");
  }
  installedProductPath_ = CAppInfo::Instance()->InstalledProductPath();
  ChooseInstallPath();
  if (!installedProductPath_.empty() && IsReinstall()) {
    is_reinstall = true;
    (void)pages_.events->Send(Event("vReInstall"));
    GoToStep(kStepReinstall);
    return;
  }
  GoToStep(kStepMain);
}

MainWindow::~MainWindow() {
  attribution_.reset();
  current_ = nullptr;
  for (auto& view : views_) view.reset();
  resources_.reset();
}

bool MainWindow::StopWorkersWithin(int milliseconds) {
  auto* progress = static_cast<CProgressView*>(views_[kStepProgress].get());
  if (progress) progress->RequestStopWorkers();
  if (attribution_) attribution_->RequestStop();
  const auto ended = [&] {
    return (!progress || progress->WorkersEnded()) && (!attribution_ || !attribution_->IsRunning());
  };
  const DWORD began = GetTickCount();
  while (!ended()) {
    if (GetTickCount() - began >= static_cast<DWORD>(milliseconds)) return false;
    Sleep(kWorkerPollMs);
  }
  return true;
}

void MainWindow::ChooseInstallPath() {
  if (!installedProductPath_.empty()) {
    std::wstring folder = DirectoryOfFile(installedProductPath_);
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    installTarget_.SetPath(std::move(folder));
    return;
  }
  const std::wstring location = DefaultInstallLocation(installTarget_, *pages_.events);
  if (location.empty()) {
    MessageBoxW(hwnd_, L"磁盘空间不足，无法创建软件缓存", L"错误", MB_OK);
    throw PelmarError("Get DefaultPath error");
  }
  installTarget_.SetPath(WithTrailingSeparator(location) + L"Pelmar\\Morvantile");
}

bool MainWindow::IsReinstall() {
  IPkgInfo* pkg = GetPkgInfo();
  if (!pkg) return false;
  // A record that failed will not arrive later: stop waiting at once.
  for (int i = 0; i < kPackagePolls && pkg->Status() == 0; ++i) Sleep(kPackagePollMs);
  const std::string version = pkg->Version();
  if (version.empty()) return false;
  return IsReinstallVersion(version, Utf8FromWide(CAppInfo::Instance()->InstalledProductVersion()));
}

template <typename View>
View* MainWindow::ViewOf(int step) {
  auto& slot = views_[static_cast<size_t>(step)];
  if (!slot) {
    try {
      slot.reset(new View(hwnd_, resources_.get(), pages_));
    } catch (const std::exception&) {
      // The slot stays empty: messages then go to the default procedure.
    }
  }
  return static_cast<View*>(slot.get());
}

bool MainWindow::GoToStep(int step) {
  const StepPlan plan = PlanStep(step_, step);
  if (!plan.valid) return false;
  if (plan.unchanged) return true;
  if (plan.resize) SetDesignSize(plan.size.width, plan.size.height);
  // The flow's free-space check, on the path the step will use (the custom
  // page changes the install target as the user chooses).
  const bool roomy = !plan.checkSpace || installTarget_.CheckSpace().roomy;

  switch (step) {
    case kStepReinstall:
      if (auto* reminder = ViewOf<CReminderView>(step)) {
        reminder->SetInstalledProductPath(installedProductPath_);
      }
      break;
    case kStepMain: {
      if (auto* begin = ViewOf<CBeginView>(step)) begin->SetSpaceOk(roomy);
      break;
    }
    case kStepCustom:
      if (auto* custom = ViewOf<CCustomeView>(step); custom && plan.giveCustomThePath) {
        if (!installedProductPath_.empty()) custom->ClearAppendProductFolder();
        custom->SetInstallPath(installTarget_.path());
      }
      break;
    case kStepProgress:
      if (!EnterProgressStep(roomy)) {
        InvalidateRect(hwnd_, nullptr, FALSE);
        return false;
      }
      break;
    case kStepFinished:
      EnterFinishedStep();
      break;
    default:
      break;
  }
  step_ = step;
  current_ = views_[static_cast<size_t>(step)].get();
  InvalidateRect(hwnd_, nullptr, FALSE);
  return true;
}

bool MainWindow::EnterProgressStep(bool roomy) {
  bool joinPlan = true;
  if (auto* custom = static_cast<CCustomeView*>(views_[kStepCustom].get())) {
    joinPlan = custom->joinPlan();
  }
  (void)pages_.events->Send(Event("vJoinPlan").SetBool("choose_join_plan", joinPlan));
  // Leaving the experience plan: nothing more is delivered from here on.
  if (!joinPlan) pages_.delivery->ReleaseHandle();

  if (!roomy) {
    (void)pages_.events->Send(Event("vInstallPathError").SetString("error_status", "磁盘空间不足"));
    MessageBoxW(hwnd_, L"软件安装路径的磁盘空间不足", L"路径错误", MB_OK);
    return false;
  }
  if (auto* progress = ViewOf<CProgressView>(kStepProgress)) {
    // Before Start: a reused download builds the command line on the first tick.
    progress->SetJoinPlan(joinPlan);
    progress->Start();
  }
  return true;
}

void MainWindow::EnterFinishedStep() {
  auto* finished = ViewOf<CFinishedView>(kStepFinished);
  InstallerSettings* settings = InstallerSettings::Instance();
  settings->SetInstall();
  settings->SetEndTimestamp(WideFromUtf8(NowSecondsText()));

  IServerInfo* server = GetServerInfo();
  IMachineIdSource* ids = pages_.machineId;
  WelcomeInputs in;
  in.channel = RunChannel();
  in.serverAddress = server ? server->WelcomeUrl() : std::string();
  in.defaultAddress = DefaultWelcomeAddress();
  in.machineHash = Md5Text(MachineIdentity());
  in.appVersion = PackageVersion();
  in.mid = ids->GetMid();
  in.timeStamp = NowSecondsText();
  in.advertisingAccount = server ? server->AdvertisingAccount() : std::string();
  const WelcomeAddress welcome = BuildWelcomeAddress(in);
  settings->SetIsSem(welcome.fromServer);

  settings->SetCam(WideFromUtf8(in.machineHash));
  settings->SetChannelId(WideFromUtf8(in.channel));
  settings->SetMid(WideFromUtf8(ids->GetMid()));
  settings->SetAppId(WideFromUtf8(config::kAppId));
  settings->SetAppVersion(WideFromUtf8(in.appVersion));
  settings->SetAdvertisingAccountName(
      WideFromUtf8(WithoutControlCharacters(in.advertisingAccount)));
  settings->SetSessionId(WideFromUtf8(welcome.sessionId));
  welcomeAddress_ = WideFromUtf8(welcome.address);

  (void)pages_.events->Send(
      Event("pSoftInstallResult")
          .SetBool("is_first_install", is_first_install.load())
          .SetBool("is_reinstall", is_reinstall.load())
          .SetString("install_status", "安装成功")
          .SetString("soft_package_name", SoftPackageNameFromPath(Utf8FromWide(ModulePath())))
          .SetString("install_type", "安装器"));

  CAppInfo* appInfo = CAppInfo::Instance();
  appInfo->Reload();
  installedProductPath_ = appInfo->InstalledProductPath();
  if (finished) finished->SetProductPath(installedProductPath_);

  if (server && server->AttributionFlag() && !attribution_) {
    attribution_ = std::make_unique<CTSReportThread>(DefaultTSReportSettings(pages_.machineId));
  }
  PostMessageW(hwnd_, WM_OPEN_WELCOME, 0, 0);
}

void MainWindow::OpenWelcome() {
  InstallerSettings* settings = InstallerSettings::Instance();
  settings->SetWelcomeUrl(welcomeAddress_);
  if (openUrl_) openUrl_(welcomeAddress_, settings->LaunchAppName());
}

LRESULT MainWindow::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_ERASEBKGND) return 0;
  if (msg == WM_CLOSE && step_ == kStepProgress) return 0;
  if (msg == WM_GOTO_STEP) {
    GoToStep(static_cast<int>(wparam));
    return 0;
  }
  if (msg == WM_OPEN_WELCOME) {
    OpenWelcome();
    return DefWindowProcW(hwnd_, msg, wparam, lparam);
  }
  const LRESULT result = current_ ? current_->HandleMessage(msg, wparam, lparam)
                                  : DefWindowProcW(hwnd_, msg, wparam, lparam);
  // A page that lets the default procedure destroy the window (its close
  // message) must not leave the message loop running without a window.
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return result;
}

}  // namespace pelmar
