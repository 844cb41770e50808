// The progress page in a real window under Wine, against a maker backend of
// its own: the download, the silent setup run of a small test program whose
// exit code and run time each test chooses, the failure dialogs, the
// notification area and the banner. Screenshots go to "<build>/progress_screenshots".
#include "pages/progress_view.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "base/event_sink.h"
#include "base/testing/release_signing.h"
#include "base/testing/wait_until.h"
#include "base/app_context.h"
#include "download/download_events.h"
#include "download/downloader.h"
#include "download/maker_backend_process.h"
#include "download/package_record.h"
#include "base/text_convert.h"
#include "pages/failure_counter.h"
#include "pages/progress_dialogs.h"
#include "pages/progress_events.h"
#include "pages/progress_rules.h"
#include "pages/page_test_fixture.h"
#include "pages/progress_page_services.h"
#include "pages/progress_ticker.h"
#include "ui/base_window.h"
#include "base/win/gdiplus_include.h"
#include "ui/movie_resource.h"
#include "ui/progress_resource.h"
#include "ui/resource_manager.h"
#include "ui/text_resource.h"
#include "ui/ui_test_support.h"
#include "pages/page_messages.h"
#include "ui/window_messages.h"

namespace pelmar {
namespace {

using testing::MakerBackendProcess;

// Every event and page action the page, the tick and the download threads
// send, and the page's context.
using SharedRecorder = RecordingPageContext;

// The page alone in a 600 x 400 window, standing in for the main window:
// records the steps the page asks for and the banner's frame messages, and
// ignores closing as the main window does during this step.
class HostWindow : public IBaseWindow {
 public:
  HostWindow() : IBaseWindow(400, nullptr, L"PelmarProgressHostWnd", 600) {}
  ~HostWindow() override { view.reset(); }
  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) override {
    if (msg == WM_ERASEBKGND) return 0;
    if (msg == WM_CLOSE) return 0;
    if (msg == WM_GOTO_STEP) {
      steps.push_back(static_cast<int>(wparam));
      return 0;
    }
    if (msg == WM_MOVIE_FRAME) ++movieFrames;
    if (view) return view->HandleMessage(msg, wparam, lparam);
    return DefWindowProcW(hwnd_, msg, wparam, lparam);
  }
  std::unique_ptr<CProgressView> view;
  std::vector<int> steps;
  int movieFrames = 0;
};

// A dialog standing in for the page family's dialogs: it shows, then gives
// the scripted answer the way those dialogs end their loop.
constexpr UINT kAnswerNow = WM_APP + 7;
class ScriptedDialog : public IBaseWindow {
 public:
  ScriptedDialog(HWND parent, const wchar_t* className, bool retry)
      : IBaseWindow(200, parent, className, 400), retry_(retry) {
    SetTimer(hwnd_, 1, 300, nullptr);
  }
  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) override {
    if (msg == WM_TIMER) {
      KillTimer(hwnd_, 1);
      if (retry_) PostMessageW(hwnd_, WM_DIALOG_RETRY, 0, 0);
      ShowWindow(hwnd_, SW_HIDE);
      PostMessageW(hwnd_, WM_QUIT, 0, 0);
      return 0;
    }
    return DefWindowProcW(hwnd_, msg, wparam, lparam);
  }

 private:
  bool retry_;
};

std::string Narrow(const std::wstring& w) { return Utf8FromWide(w); }

std::wstring ShotFolder() {
  const std::wstring folder = test::ExecutableFolder() + L"\\..\\progress_screenshots";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

std::string UnixPath(const std::wstring& windowsPath) {
  std::string s;
  for (wchar_t c : windowsPath.substr(2)) s.push_back(c == L'\\' ? '/' : static_cast<char>(c));
  return s;
}

std::string ScreenshotCommand(HWND hwnd, const std::wstring& path) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  std::ostringstream cmd;
  cmd << "import -window root -crop " << (r.right - r.left) << "x" << (r.bottom - r.top) << "+"
      << r.left << "+" << r.top << " +repage " << UnixPath(path);
  return cmd.str();
}

bool ScreenshotOf(HWND hwnd, const std::wstring& name) {
  return test::RunUnixCommand(ScreenshotCommand(hwnd, ShotFolder() + L"\\" + name + L".png"));
}

// Starts a Unix command line and returns at once: RunUnixCommand keeps
// running this thread's messages until the queue is empty, which a page that
// ticks and repaints may never let happen.
bool LaunchUnixCommand(const std::string& script) {
  std::wstring command = L"/bin/sh -c \"" + WideFromUtf8(script) + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  if (pi.hProcess) CloseHandle(pi.hProcess);
  if (pi.hThread) CloseHandle(pi.hThread);
  return true;
}

// Starts the screenshot and returns at once, so the page goes on meanwhile;
// the picture is written under a temporary name and renamed when complete.
std::wstring StartScreenshot(HWND hwnd, const std::wstring& name) {
  const std::wstring path = ShotFolder() + L"\\" + name + L".png";
  DeleteFileW(path.c_str());
  const std::wstring part = ShotFolder() + L"\\" + name + L".part.png";
  const std::string script =
      ScreenshotCommand(hwnd, part) + " && mv " + UnixPath(part) + " " + UnixPath(path);
  return LaunchUnixCommand(script) ? path : std::wstring();
}

// Plays the user at the page family's real dialogs, on a thread of its own
// while the page's modal loop runs: waits for each dialog in turn, takes its
// screenshot, and clicks the chosen button (1 left, 2 right).
class DialogRobot {
 public:
  struct Step {
    const wchar_t* windowClass;
    int button;
    const wchar_t* shot;  // screenshot name, or null
  };
  explicit DialogRobot(std::vector<Step> steps)
      : steps_(std::move(steps)), thread_([this] { Run(); }) {}
  ~DialogRobot() {
    stop_ = true;
    thread_.join();
  }
  // The dialogs answered once `expected` are, or after 10 s. The robot counts
  // a dialog only after it has seen it go, which may be after the page has
  // already moved on.
  int AnsweredAfterWaitingFor(int expected) const {
    (void)testing::WaitUntil([&] { return answered_.load() >= expected; },
                             std::chrono::seconds(10));
    return answered_.load();
  }

 private:
  void Run() {
    for (const Step& step : steps_) {
      HWND dialog = nullptr;
      (void)testing::WaitUntil([&] {
        HWND found = FindWindowW(step.windowClass, nullptr);
        if (found && IsWindowVisible(found)) dialog = found;
        return dialog != nullptr || stop_;
      });
      if (!dialog) return;
      // The dialog's thread answers from its loop: shown and painted.
      DWORD_PTR ignored = 0;
      if (!SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored)) return;
      auto* window = static_cast<IBaseWindow*>(GetPropW(dialog, IBaseWindow::kWindowProperty));
      auto* holder = dynamic_cast<ViewWindow*>(window);
      IBaseResource* button =
          holder && holder->view() ? holder->view()->FindById(step.button) : nullptr;
      if (!button) return;
      RECT r{};
      GetWindowRect(dialog, &r);
      if (step.shot) (void)ScreenshotOf(dialog, step.shot);
      std::ostringstream click;
      click << "xdotool mousemove " << r.left + (button->rect().left + button->rect().right) / 2
            << " " << r.top + (button->rect().top + button->rect().bottom) / 2 << " click 1";
      if (!test::RunUnixCommand(click.str())) return;
      (void)testing::WaitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); },
                               std::chrono::seconds(10));
      ++answered_;
    }
  }

  std::vector<Step> steps_;
  std::atomic<bool> stop_{false};
  std::atomic<int> answered_{0};
  std::thread thread_;
};

class ProgressPageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    backend_ = new MakerBackendProcess(1024);
    setupProgram_ = test::ReadFileBytes(test::ExecutableFolder() + L"\\test_setup_program.exe");
  }
  static void TearDownTestSuite() {
    delete backend_;
    backend_ = nullptr;
  }

  void SetUp() override {
    ASSERT_FALSE(setupProgram_.empty());
    CreateAppContext();
    manager_ = std::make_unique<CResourceManager>(cache_.path(), &log_);
    SetProcessEventSink(&log_);
    CFailureCounter::Downloads().ResetForTesting();
    CFailureCounter::Setups().ResetForTesting();
    ASSERT_TRUE(backend_->ClearFaults());
    ASSERT_TRUE(backend_->Reset());
    ServeSetupProgram(setupProgram_);
    installDir_ = data_.Join(L"Morvantile 安装");
    SetSetupBehaviour(0, 0);

    ProgressPageServices hooks;
    hooks.createDownloader = [this] { return CreateDownloader(Services()); };
    hooks.bannerConfig = {"127.0.0.1", backend_->Port()};
    log_.context().progress = hooks;
    ProgressDialogFactories dialogs;
    dialogs.error = [this](int type) {
      dialogsShown_.push_back("error " + std::to_string(type));
      return Dialog(L"PelmarTestErrorWnd", retryAnswer_);
    };
    dialogs.downloadReminder = [this](const std::string& url) {
      dialogsShown_.push_back("download reminder " + url);
      return Dialog(L"PelmarTestDReminderWnd", false);
    };
    dialogs.installReminder = [this](const std::wstring& path) {
      dialogsShown_.push_back("install reminder " + Narrow(path));
      return Dialog(L"PelmarTestIReminderWnd", false);
    };
    SetProgressDialogsForTesting(dialogs);
  }

  void TearDown() override {
    window_.reset();
    SetProgressDialogsForTesting({});
    CProgressTicker::RefuseMultimediaTimerForTesting(false);
    SetProcessEventSink(nullptr);
    manager_.reset();
    DeleteAppContext();
  }

  IBaseView::DialogFactory Dialog(const wchar_t* className, bool retry) {
    return [className, retry](HWND parent, IResourceMgr*) -> std::unique_ptr<IBaseWindow> {
      return std::make_unique<ScriptedDialog>(parent, className, retry);
    };
  }

  // The record carries the maker's statement of the bytes, signed with the
  // development key the build pins; without it the query fetches the
  // ".sig" beside the file.
  void ServeSetupProgram(const std::string& bytes, bool withStatement = true) {
    ASSERT_TRUE(backend_->WritePackage("install.exe", bytes));
    record_ = std::make_unique<CFixedPackageRecord>(
        std::vector<std::string>{backend_->Url("/cdn/install.exe")}, backend_->PackageMd5(),
        "1.0.0.1", IPackageRecord::kReady,
        withStatement
            ? testing::SignedReleaseFor(testing::TestMaker::Development(), bytes, "1.0.0.1")
            : SignedReleaseText());
  }

  // What the test setup program does: exit code and run time.
  static void SetSetupBehaviour(unsigned exitCode, unsigned runMs) {
    SetEnvironmentVariableW(L"PELMAR_TEST_SETUP_EXIT", std::to_wstring(exitCode).c_str());
    SetEnvironmentVariableW(L"PELMAR_TEST_SETUP_MS", std::to_wstring(runMs).c_str());
  }

  DownloaderServices Services() {
    DownloaderServices s;
    s.query.package = record_.get();
    s.query.programPath = L"C:\\Downloads\\Morvantile_setup.exe";
    s.query.builtinUrl =
        backend_->Url("/application/soft_package/pc/10001061/software/install.exe");
    s.query.probeHosts = {"127.0.0.1"};
    s.query.probePort = backend_->Port();
    s.query.headRetryPauseMs = 10;
    s.productDataDirectory = data_.path() + L"\\";
    s.productVersionOfFile = [](const std::wstring&) { return std::wstring(); };
    s.installedProductPath = [] { return std::wstring(); };
    s.installedProductVersion = [] { return std::wstring(); };
    return s;
  }

  void OpenPage(bool joinedPlan = true) {
    window_ = std::make_unique<HostWindow>();
    window_->view =
        std::make_unique<CProgressView>(window_->hwnd(), manager_.get(), log_.context());
    window_->view->SetJoinPlan(joinedPlan);
    window_->view->Show(window_->hwnd(), false);
  }
  void StartPage() {
    log_.installTarget().SetPath(installDir_);
    window_->view->Start();
  }

  // Runs the window's messages until `done` or the time is up; notes the
  // quit message, which ends the installer.
  bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 60000) {
    return testing::WaitUntil(done, std::chrono::milliseconds(timeoutMs), [&] { PumpSome(); });
  }
  // A few messages per round: ticks and repaints can keep the queue busy for
  // as long as the page runs.
  void PumpSome() {
    MSG msg;
    for (int n = 0; n < 8 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
      if (msg.message == WM_QUIT) {
        quitSeen_ = true;
        quitCode_ = static_cast<int>(msg.wParam);
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  void Pump(int ms) {
    PumpUntil([] { return false; }, ms);
  }

  CProgressResource* Bar() { return static_cast<CProgressResource*>(window_->view->FindById(2)); }
  CTextResource* Status() { return static_cast<CTextResource*>(window_->view->FindById(5)); }
  CMovieResource* Banner() { return dynamic_cast<CMovieResource*>(window_->view->FindById(3)); }
  IBaseResource* HideButton() { return window_->view->FindById(1); }
  bool Reached(int step) {
    for (int s : window_->steps)
      if (s == step) return true;
    return false;
  }
  std::vector<std::string> SetupRuns() {
    std::istringstream in(test::ReadFileBytes(installDir_ + L"\\setup_runs.txt"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::vector<std::string> Statuses(const std::string& event, const std::string& key) {
    std::vector<std::string> out;
    for (auto& r : log_.Named(event)) out.push_back(r.properties[key]);
    return out;
  }
  // GETs of the setup program (its signed statement beside it not counted).
  int CdnGets() {
    int n = 0;
    for (const auto& r : backend_->Requests("/cdn/")) {
      n += r.method == "GET" && r.path.size() > 4 &&
           r.path.compare(r.path.size() - 4, 4, ".sig") != 0;
    }
    return n;
  }

  static inline MakerBackendProcess* backend_ = nullptr;
  static inline std::string setupProgram_;
  test::ScratchDir cache_;
  test::ScratchDir data_;
  SharedRecorder log_;
  std::unique_ptr<CResourceManager> manager_;
  std::unique_ptr<CFixedPackageRecord> record_;
  std::unique_ptr<HostWindow> window_;
  std::wstring installDir_;
  std::vector<std::string> dialogsShown_;
  bool retryAnswer_ = true;
  bool quitSeen_ = false;
  int quitCode_ = -1;
};

TEST_F(ProgressPageTest, DownloadsRunsTheSetupAndAsksForTheFinishedStep) {
  SetSetupBehaviour(0, 2500);
  // Large enough that each range is written in several blocks (a program
  // runs with data appended to it), and paced so that the page can be seen
  // mid-download.
  const std::string padded = setupProgram_ + std::string(6 << 20, '\0');
  ServeSetupProgram(padded);
  const int pace = static_cast<int>(padded.size() / 10);
  ASSERT_TRUE(backend_->SetFaults(R"([{"path": "/cdn/", "action": "pace", "bytes_per_second": )" +
                                  std::to_string(pace) + "}]"));
  OpenPage();
  StartPage();
  unsigned highest = 0;
  std::wstring shot;
  bool sawSetupPhase = false;
  ASSERT_TRUE(PumpUntil([&] {
    const unsigned p = Bar()->percent();
    EXPECT_LT(p, 100u) << "the bar showed 100 % before the finished page";
    EXPECT_EQ(Status()->text(), StatusText(static_cast<int>(p)));
    highest = std::max(highest, p);
    sawSetupPhase = sawSetupPhase || p >= 80;
    if (shot.empty() && p >= 10 && p <= 40) {
      // Painted now, not when the queue next runs dry.
      UpdateWindow(window_->hwnd());
      GdiFlush();
      shot = StartScreenshot(window_->hwnd(), L"progress_mid_download");
    }
    return Reached(4);
  }));
  ASSERT_FALSE(shot.empty());
  EXPECT_TRUE(PumpUntil([&] { return test::FileExists(shot); }, 30000));
  EXPECT_TRUE(sawSetupPhase);
  EXPECT_GE(highest, 80u);
  EXPECT_LT(Bar()->percent(), 100u);  // the finished step does not draw 100 % here
  EXPECT_EQ(window_->steps, std::vector<int>{4});
  EXPECT_TRUE(Banner()->paused());

  const std::vector<std::string> runs = SetupRuns();
  ASSERT_EQ(runs.size(), 1u);
  const std::string suffix =
      Narrow(L"\" /SILENT /VERYSILENT /SP- /noicons -nowelcome /DIR=\"" + installDir_ + L"\"");
  ASSERT_GE(runs[0].size(), suffix.size());
  EXPECT_EQ(runs[0].substr(runs[0].size() - suffix.size()), suffix);
  EXPECT_EQ(runs[0].rfind("\"" + Narrow(data_.path()), 0), 0u) << runs[0];

  EXPECT_EQ(Statuses("pSoftDownloadResult", "soft_download_status"),
            std::vector<std::string>{"下载成功"});
  EXPECT_EQ(log_.Named("vSoftInstallStart").size(), 1u);
  EXPECT_TRUE(log_.Named("vSoftInstallError").empty());
  EXPECT_TRUE(dialogsShown_.empty());
  // Reported, not asserted: how long the ticks held the window.
  const auto tick = [&](const wchar_t* name) {
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(GetPropW(window_->hwnd(), name)));
  };
  EXPECT_GT(tick(L"PelmarLongestProgressTickUs"), 0u);
  EXPECT_GT(tick(L"PelmarProgressEndTickUs"), 0u);
  std::printf("longest progress tick: %lu us (%lu ticks, %lu over 16 ms)\n",
              tick(L"PelmarLongestProgressTickUs"), tick(L"PelmarProgressTicks"),
              tick(L"PelmarProgressSlowTicks"));
  std::printf("the tick at the run's end: %lu us\n", tick(L"PelmarProgressEndTickUs"));
}

TEST_F(ProgressPageTest, LeavingTheExperiencePlanAddsItsSwitch) {
  OpenPage(/*joinedPlan=*/false);
  StartPage();
  ASSERT_TRUE(PumpUntil([&] { return Reached(4); }));
  const std::vector<std::string> runs = SetupRuns();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_NE(runs[0].find(" /noicons -noexperience -nowelcome /DIR=\""), std::string::npos)
      << runs[0];
}

TEST_F(ProgressPageTest, WithoutAMultimediaTimerAWindowTimerDrivesThePage) {
  CProgressTicker::RefuseMultimediaTimerForTesting(true);
  OpenPage();
  StartPage();
  ASSERT_TRUE(PumpUntil([&] { return Reached(4); }));
  EXPECT_EQ(SetupRuns().size(), 1u);
  EXPECT_EQ(log_.Named("vSoftInstallStart").size(), 1u);
}

TEST_F(ProgressPageTest, FailingSetupOffersTwoRetriesThenTheInstallReminder) {
  SetSetupBehaviour(5, 0);
  OpenPage();
  StartPage();
  ASSERT_TRUE(PumpUntil([&] { return quitSeen_; }));
  EXPECT_EQ(quitCode_, 0);
  EXPECT_EQ(Statuses("vSoftInstallError", "error_status"),
            (std::vector<std::string>{"5", "5", "5"}));
  EXPECT_EQ(SetupRuns().size(), 3u);
  ASSERT_EQ(dialogsShown_.size(), 3u);
  EXPECT_EQ(dialogsShown_[0], "error 2");
  EXPECT_EQ(dialogsShown_[1], "error 2");
  EXPECT_EQ(dialogsShown_[2].rfind("install reminder " + Narrow(data_.path()), 0), 0u)
      << dialogsShown_[2];
  EXPECT_TRUE(window_->steps.empty());
  // A retry reuses the controller and its finished file: one download only.
  EXPECT_LE(CdnGets(), 2);
  EXPECT_EQ(log_.Named("vSoftDownloadStart").size(), 1u);
}

TEST_F(ProgressPageTest, RetryLaterReturnsToTheMainPage) {
  SetSetupBehaviour(5, 0);
  retryAnswer_ = false;
  OpenPage();
  StartPage();
  ASSERT_TRUE(PumpUntil([&] { return Reached(1); }));
  Pump(300);
  EXPECT_EQ(window_->steps, std::vector<int>{1});
  EXPECT_EQ(dialogsShown_, std::vector<std::string>{"error 2"});
  EXPECT_EQ(SetupRuns().size(), 1u);
  EXPECT_FALSE(quitSeen_);
}

TEST_F(ProgressPageTest, ASetupProgramThatCannotStartIsASetupFailure) {
  ServeSetupProgram(std::string(4096, 'x'));
  retryAnswer_ = false;
  OpenPage();
  StartPage();
  ASSERT_TRUE(PumpUntil([&] { return Reached(1); }));
  EXPECT_EQ(log_.Named("vSoftInstallStart").size(), 1u);
  EXPECT_EQ(Statuses("vSoftInstallError", "error_status"), std::vector<std::string>{"4294967295"});
  EXPECT_EQ(dialogsShown_, std::vector<std::string>{"error 2"});
}

// A setup program that never ends would keep the page at 99 % for ever:
// after its time it is a setup failure like any other, and the page does
// not wait for it.
TEST_F(ProgressPageTest, ASetupProgramThatDoesNotEndIsASetupFailure) {
  SetSetupBehaviour(0, 8000);
  log_.context().progress.setupRunLimitMs = 1500;
  retryAnswer_ = false;
  OpenPage();
  StartPage();
  ASSERT_TRUE(PumpUntil([&] { return Reached(1); }));
  EXPECT_FALSE(Reached(4));
  EXPECT_EQ(log_.Named("vSoftInstallStart").size(), 1u);
  EXPECT_EQ(Statuses("vSoftInstallError", "error_status"), std::vector<std::string>{"4294967295"});
  EXPECT_EQ(dialogsShown_, std::vector<std::string>{"error 2"});
  // The program it left running still ends by itself before the folder goes.
  Pump(8000);
}

TEST_F(ProgressPageTest, FailingDownloadOffersTwoRetriesThenTheDownloadReminder) {
  ASSERT_TRUE(backend_->SetFaults(R"([{"path": "/cdn/", "action": "status", "status": 404},
                                      {"path": "/application/", "action": "status", "status": 404}])"));
  OpenPage();
  StartPage();
  ASSERT_TRUE(PumpUntil([&] { return quitSeen_; }, 120000));
  EXPECT_EQ(Statuses("pSoftDownloadResult", "soft_download_status"),
            (std::vector<std::string>{"下载失败", "下载失败", "下载失败"}));
  EXPECT_EQ(Statuses("pSoftDownloadResult", "download_time"),
            (std::vector<std::string>{"-1", "-1", "-1"}));
  ASSERT_EQ(dialogsShown_.size(), 3u);
  EXPECT_EQ(dialogsShown_[0], "error 1");
  EXPECT_EQ(dialogsShown_[1], "error 1");
  EXPECT_EQ(dialogsShown_[2].rfind("download reminder http://", 0), 0u) << dialogsShown_[2];
  EXPECT_TRUE(SetupRuns().empty());
  EXPECT_TRUE(log_.Named("vSoftInstallStart").empty());
}

TEST_F(ProgressPageTest, ForgedReleaseFailsTheDownloadAndRunsNothing) {
  // The genuine statement text signed by a key the installer does not pin,
  // beside the file (the record carries none).
  ServeSetupProgram(setupProgram_, /*withStatement=*/false);
  ASSERT_TRUE(backend_->SetFaults(R"([{"action": "release", "mode": "forged"}])"));
  OpenPage();
  StartPage();
  ASSERT_TRUE(PumpUntil([&] { return quitSeen_; }, 120000));
  EXPECT_EQ(Statuses("pSoftDownloadResult", "soft_download_status"),
            (std::vector<std::string>{"下载失败", "下载失败", "下载失败"}));
  EXPECT_EQ(Statuses("vSoftDownloadError", "error_status"),
            (std::vector<std::string>{"发布声明签名无效", "发布声明签名无效", "发布声明签名无效"}));
  ASSERT_EQ(dialogsShown_.size(), 3u);
  EXPECT_EQ(dialogsShown_[0], "error 1");
  EXPECT_EQ(dialogsShown_[2].rfind("download reminder http://", 0), 0u) << dialogsShown_[2];
  EXPECT_TRUE(SetupRuns().empty());
  EXPECT_TRUE(log_.Named("vSoftInstallStart").empty());
  EXPECT_EQ(CdnGets(), 0);  // refused before a byte of the program was fetched
}

TEST_F(ProgressPageTest, RealDialogsRetryTheSetupThenOfferTheManualInstall) {
  SetProgressDialogsForTesting({});
  SetSetupBehaviour(5, 0);
  DialogRobot robot({{L"ProgressChildCloseWnd", 1, L"progress_error_dialog"},
                     {L"ProgressChildCloseWnd", 1, nullptr},
                     {L"ProgressIReminderWnd", 2, L"progress_install_reminder"}});
  OpenPage();
  StartPage();
  ASSERT_TRUE(PumpUntil([&] { return quitSeen_; }, 120000));
  EXPECT_EQ(robot.AnsweredAfterWaitingFor(3), 3);
  EXPECT_EQ(quitCode_, 0);
  EXPECT_EQ(SetupRuns().size(), 3u);  // "立即重试" ran the setup program again
  EXPECT_EQ(Statuses("vSoftInstallError", "error_status"),
            (std::vector<std::string>{"5", "5", "5"}));
  EXPECT_TRUE(window_->steps.empty());
}

TEST_F(ProgressPageTest, RealDialogsRetryLaterThenTheDownloadReminder) {
  SetProgressDialogsForTesting({});
  ASSERT_TRUE(backend_->SetFaults(R"([{"path": "/cdn/", "action": "status", "status": 404},
                                      {"path": "/application/", "action": "status", "status": 404}])"));
  {
    // "稍后重试": back to the main page, no retry.
    DialogRobot robot({{L"ProgressChildCloseWnd", 2, L"progress_error_dialog_download"}});
    OpenPage();
    StartPage();
    ASSERT_TRUE(PumpUntil([&] { return Reached(1); }, 120000));
    EXPECT_EQ(robot.AnsweredAfterWaitingFor(1), 1);
  }
  // The counter goes on across starts: one more retry, then the reminder.
  DialogRobot robot({{L"ProgressChildCloseWnd", 1, nullptr},
                     {L"ProgressDReminderWnd", 2, L"progress_download_reminder"}});
  StartPage();
  ASSERT_TRUE(PumpUntil([&] { return quitSeen_; }, 120000));
  EXPECT_EQ(robot.AnsweredAfterWaitingFor(2), 2);
  EXPECT_EQ(Statuses("pSoftDownloadResult", "soft_download_status"),
            (std::vector<std::string>{"下载失败", "下载失败", "下载失败"}));
  EXPECT_TRUE(SetupRuns().empty());
}

TEST_F(ProgressPageTest, HidesToTheNotificationAreaAndComesBack) {
  ASSERT_TRUE(
      backend_->SetFaults(R"([{"path": "/cdn/", "action": "pace", "bytes_per_second": 2000}])"));
  OpenPage();
  StartPage();
  Pump(500);
  ASSERT_TRUE(IsWindowVisible(window_->hwnd()));
  RECT w{};
  GetWindowRect(window_->hwnd(), &w);
  const UiRect& b = HideButton()->rect();
  std::ostringstream click;
  click << "xdotool mousemove " << w.left + (b.left + b.right) / 2 << " "
        << w.top + (b.top + b.bottom) / 2 << " click 1";
  ASSERT_TRUE(test::RunUnixCommand(click.str()));
  ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(window_->hwnd()); }, 20000));
  EXPECT_EQ(log_.Named("page:0003/0001").size(), 1u);
  EXPECT_TRUE(Banner()->paused());

  // What the icon sends on a click. (Clicking Wine's own notification-area
  // window with xdotool leaves the shell helper unable to return while the
  // page ticks, so the callback message stands in for the click.)
  PostMessageW(window_->hwnd(), WM_TRAY_NOTIFY, 0, WM_LBUTTONUP);
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(window_->hwnd()) != FALSE; }, 20000));
  EXPECT_EQ(log_.Named("page:0003/0002").size(), 1u);
  EXPECT_FALSE(Banner()->paused());

  // Hidden again, a second installer's message brings it back on top; the
  // banner stays paused until the icon or a step change resumes it.
  ASSERT_TRUE(test::RunUnixCommand(click.str()));
  ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(window_->hwnd()); }, 20000));
  PostMessageW(window_->hwnd(), WM_BRING_TO_FRONT, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(window_->hwnd()) != FALSE; }, 10000));
  EXPECT_TRUE(GetWindowLongW(window_->hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_TRUE(Banner()->paused());
  EXPECT_EQ(log_.Named("page:0003/0002").size(), 1u);
  // Other mouse messages of the icon do nothing.
  PostMessageW(window_->hwnd(), WM_TRAY_NOTIFY, 0, WM_MOUSEMOVE);
  Pump(200);
  EXPECT_EQ(log_.Named("page:0003/0002").size(), 1u);
  // Closing is ignored during this step; the page goes on.
  PostMessageW(window_->hwnd(), WM_CLOSE, 0, 0);
  Pump(200);
  EXPECT_TRUE(IsWindow(window_->hwnd()));
}

uint32_t BannerPixel(HostWindow* window, CMovieResource* banner) {
  RECT client{};
  GetClientRect(window->hwnd(), &client);
  test::Dib dib(client.right, client.bottom);
  window->view->DrawAll(dib.dc());
  const UiRect r = banner->MovieRect();
  return dib.Pixel(r.left + 3, r.top + 3) | 0xFF000000u;
}

TEST_F(ProgressPageTest, BannerPlaysTheServedGif) {
  OpenPage();
  CMovieResource* banner = Banner();
  ASSERT_NE(banner, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return banner->HasMovie() && window_->movieFrames >= 2; }, 20000));
  EXPECT_EQ(banner->FrameCount(), 4);
  EXPECT_EQ(banner->FrameDelays(), (std::vector<uint32_t>{25, 25, 25, 25}));
  // The served banner's field is its first palette colour.
  EXPECT_EQ(BannerPixel(window_.get(), banner), 0xFF1B2A49u);
  ScreenshotOf(window_->hwnd(), L"progress_banner");
  EXPECT_EQ(backend_->Requests("/static/banner.gif").size(), 1u);
  // Paused, the animation posts no more frames.
  banner->SetPaused(true);
  Pump(100);
  const int frames = window_->movieFrames;
  Pump(800);
  EXPECT_EQ(window_->movieFrames, frames);
}

TEST_F(ProgressPageTest, BannerKeepsTheFallbackForAnotherCode) {
  ASSERT_TRUE(backend_->SetFaults(
      R"([{"path": "/applicationService/app/installerConfig", "action": "code", "value": "server.fail"}])"));
  OpenPage();
  CMovieResource* banner = Banner();
  ASSERT_TRUE(
      PumpUntil([&] { return !backend_->Requests("/applicationService/").empty(); }, 20000));
  Pump(1000);
  EXPECT_FALSE(banner->HasMovie());
  EXPECT_EQ(window_->movieFrames, 0);
  EXPECT_TRUE(backend_->Requests("/static/").empty());
  const uint32_t pixel = BannerPixel(window_.get(), banner);
  EXPECT_NE(pixel, 0xFF1B2A49u);
  // The fallback picture, not an empty banner.
  EXPECT_GT(banner->MovieRect().Width(), 0);
  EXPECT_NE(pixel, 0xFFFFFFFFu);
}

// The picture address comes from a server: one with CR/LF would send a
// second, injected request on the picture's connection; another scheme is
// not fetched as plain HTTP. Neither is asked for; the fallback stays.
TEST_F(ProgressPageTest, BannerAddressThatIsNoPlainRequestIsNotFetched) {
  const std::string base = backend_->Url("/static/banner.gif");
  const std::string https = "https" + base.substr(4);
  const std::string addresses[] = {
      base + "\\r\\nGET /static/injected.gif HTTP/1.1\\r\\nX: y",
      base + " HTTP/1.1\\nHost: other",
      https,
  };
  for (const std::string& address : addresses) {
    SCOPED_TRACE(address);
    ASSERT_TRUE(backend_->Reset());
    ASSERT_TRUE(backend_->SetFaults(
        R"([{"path": "/applicationService/app/installerConfig", "action": "respond", "json":
           {"code": "server.success", "data": {"ProductsShow": {"gif_url": ")" +
        address + R"("}}}}])"));
    OpenPage();
    CMovieResource* banner = Banner();
    ASSERT_TRUE(
        PumpUntil([&] { return !backend_->Requests("/applicationService/").empty(); }, 20000));
    Pump(1500);
    EXPECT_FALSE(banner->HasMovie());
    EXPECT_TRUE(backend_->Requests("/static/").empty());
    EXPECT_GT(banner->MovieRect().Width(), 0);  // the fallback picture
    window_.reset();
  }
}

struct BannerCase {
  const char* what;
  const char* query;
  int frames;
  std::vector<uint32_t> delays;
};

TEST_F(ProgressPageTest, BannerFrameRules) {
  const BannerCase cases[] = {
      {"a still picture posts one frame", "?frames=1", 1, {}},
      {"zero delays get a tenth of a second", "?frames=3&delay=0", 3, {10, 10, 10}},
  };
  for (const BannerCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string url = backend_->Url(std::string("/static/banner.gif") + c.query);
    ASSERT_TRUE(backend_->SetFaults(
        R"([{"path": "/applicationService/app/installerConfig", "action": "respond", "json":
           {"code": "server.success", "data": {"ProductsShow": {"gif_url": ")" +
        url + R"("}}}}])"));
    OpenPage();
    CMovieResource* banner = Banner();
    ASSERT_TRUE(PumpUntil([&] { return banner->HasMovie(); }, 20000));
    EXPECT_EQ(banner->FrameCount(), c.frames);
    Pump(1000);
    if (c.frames == 1) {
      EXPECT_EQ(window_->movieFrames, 1);
    } else {
      EXPECT_EQ(banner->FrameDelays(), c.delays);
    }
    window_.reset();
  }
}

// The quit's stop: with the banner and both ranges waiting on servers gone
// silent, a stop that waits for nothing still ends them all (a connect at
// once, a receive within its limit), and the stopped download reports
// nothing. How long it took is reported, not asserted.
TEST_F(ProgressPageTest, QuitStopEndsTheBannerAndTheDownloadWithoutReports) {
  ASSERT_TRUE(backend_->SetFaults(
      R"([{"path": "/applicationService/app/installerConfig", "action": "stall", "seconds": 60},
          {"path": "/cdn/", "method": "GET", "action": "stall", "seconds": 60}])"));
  OpenPage();
  StartPage();
  ASSERT_TRUE(PumpUntil(
      [&] { return CdnGets() >= 2 && !backend_->Requests("/applicationService/").empty(); },
      20000));
  Pump(200);
  ASSERT_FALSE(window_->view->WorkersEnded());
  const DWORD began = GetTickCount();
  window_->view->RequestStopWorkers();
  EXPECT_TRUE(PumpUntil([&] { return window_->view->WorkersEnded(); }, 10000));
  std::printf("quit stop of the banner and two ranges: %lu ms\n",
              static_cast<unsigned long>(GetTickCount() - began));
  EXPECT_TRUE(Statuses("vSoftDownloadError", "error_status").empty());
  window_.reset();
}

TEST_F(ProgressPageTest, PageCloseEndsABannerWaitingOnASilentServer) {
  ASSERT_TRUE(backend_->SetFaults(
      R"([{"path": "/applicationService/app/installerConfig", "action": "stall", "seconds": 60}])"));
  OpenPage();
  ASSERT_TRUE(
      PumpUntil([&] { return !backend_->Requests("/applicationService/").empty(); }, 20000));
  Pump(200);
  window_.reset();  // returns: the stop woke the request or its time limit ended it
  SUCCEED();
}

}  // namespace
}  // namespace pelmar
