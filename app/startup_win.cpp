#include "app/startup.h"

#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <ctime>
#include <limits>
#include <memory>
#include <string>

#include "app/app_info.h"
#include "app/launch_rules.h"
#include "app/downloader_services.h"
#include "app/main_window.h"
#include "app/run_cache_directory.h"
#include "app/single_instance.h"
#include "app/system_queries.h"
#include "base/app_context.h"
#include "base/file_stream.h"
#include "base/file_system.h"
#include "base/path_rules.h"
#include "base/pelmar_error.h"
#include "base/text_convert.h"
#include "base/win/registry_view.h"
#include "base/win/scoped_handle.h"
#include "services/installer_settings.h"
#include "services/browser_opener.h"
#include "services/logger_server.h"
#include "services/pkg_info.h"
#include "services/sdk_binding.h"
#include "services/server_info.h"

namespace pelmar {
namespace {

// "安装器" and the two quit texts, UTF-8.
const char kInstallTypeInstaller[] = "\xE5\xAE\x89\xE8\xA3\x85\xE5\x99\xA8";
const char kEventNameQuit[] = "\xE8\xBD\xAF\xE4\xBB\xB6\xE9\x80\x80\xE5\x87\xBA";

// Own-file stream: kept open for the whole run so the file stays readable
// under its name (the channel and package name come from it).
struct StreamCloser {
  void operator()(CFileStream* stream) const { stream->Release(); }
};
using StreamHolder = std::unique_ptr<CFileStream, StreamCloser>;

void MakeDpiAware() {
  const win::ScopedLibrary user32(LoadLibraryW(L"user32"));
  if (!user32) return;
  using SetProcessDpiAwareFn = BOOL(WINAPI*)();
  if (auto set_aware = reinterpret_cast<SetProcessDpiAwareFn>(
          reinterpret_cast<void*>(GetProcAddress(user32.get(), "SetProcessDPIAware")))) {
    set_aware();
  }
}

bool ProductWasInstalled() {
  win::ScopedRegKey key;
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, CAppInfo::kUninstallKey, 0,
                       KEY_READ | win::kProductRegistryView, key.receive()) == ERROR_SUCCESS;
}

// Steps 4 to 11 of start-up; `own_file` receives the open own-file stream.
LaunchFacts GatherLaunchFacts(StreamHolder* own_file) {
  LaunchFacts facts;
  facts.first_install = !ProductWasInstalled();
  is_first_install = facts.first_install;

  const std::wstring module = ModulePath();
  facts.soft_package_name = SoftPackageNameFromPath(Utf8FromWide(module));
  facts.channel = ChannelFromVersion(Utf8FromWide(CAppInfo::Instance()->ProductVersionOfFile(L"")),
                                     ChannelFromPackageName(facts.soft_package_name));
  if (AppContext* context = GetAppContext()) {
    std::lock_guard<CXMutex> lock(context->mutex);
    context->channel = facts.channel;
  }

  const std::wstring begin = std::to_wstring(static_cast<long long>(std::time(nullptr)));
  if (!begin.empty()) InstallerSettings::Instance()->SetBeginTimestamp(begin);

  DWORD parent = 0;
  std::wstring parent_image;
  if (ParentProcessId(GetCurrentProcessId(), &parent) && ProcessImagePath(parent, &parent_image) &&
      !parent_image.empty()) {
    InstallerSettings::Instance()->SetLaunchAppName(parent_image);
    facts.parent_app_name = Utf8FromWide(FileNameOf(parent_image));
  }

  // Raises "PelmarFileOpen failed" when the own file cannot be opened: the
  // whole start-up then ends in the quit sequence.
  own_file->reset(new CFileStream(OpenFileStream(kModeReadShared, module)));
  int64_t created = 0, accessed = 0, written = 0;
  if ((*own_file)->GetTimes(&created, &accessed, &written)) {
    facts.download_time = DownloadTimeFromTimes(created, written);
  }
  return facts;
}

void RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace

void SendLaunchReport(const LaunchFacts& facts) {
  ILoggerServer* logger = GetLogger();
  // The record field is 32-bit; a download longer than 68 years is not one.
  const int64_t seconds = facts.download_time < std::numeric_limits<int32_t>::max()
                              ? facts.download_time
                              : std::numeric_limits<int32_t>::max();
  (void)logger->Send(Event("pSoftInstall")
                         .SetBool("is_first_install", facts.first_install)
                         .SetString("soft_package_name", facts.soft_package_name)
                         .SetInt("download_time", static_cast<int32_t>(seconds))
                         .SetString("parent_app_name", facts.parent_app_name)
                         .SetString("install_type", kInstallTypeInstaller));
  logger->SendLaunch(1, "", "", "");
  logger->SendLifecycle(4, "0001", "0001", facts.soft_package_name, "", {});
}

void SendQuitRecords() {
  ILoggerServer* logger = GetLogger();
  logger->SendLifecycle(4, "0001", "0002", "", "", {});
  (void)logger->Send(Event("vSoftQuit").SetString("event_name", kEventNameQuit));
}

void StartServerInformation() {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(1, 1), &wsa) != 0) throw PelmarError("socket startup failed");
  // The package record, its requests sealed by the logger, and the channel
  // record start their readers here.
  if (!StartPkgInfo(GetLogger())) throw PelmarError("Get package information error");
  if (!GetServerInfo()) throw PelmarError("Get server information error");
  const std::wstring product_dir = ProductDataDirectory();
  if (product_dir.empty() || !CreateDirectories(product_dir)) {
    throw PelmarError("create product data directory failed");
  }
}

// The quit's bounds: the window is gone, and the process must end (and free
// the single-instance name for a new start) within about two seconds whatever
// the network does. A stopped worker ends in milliseconds, even inside a
// connect; one that has not ended in its share is waiting on the system (a
// name lookup, or under Wine a receive already waiting, which only its time
// limit ends) and is left to the process exit.
constexpr int kWindowStopMs = 700;
constexpr int kReaderStopMs = 300;

// Wakes both readers (their stops first, so they wind down side by side) and
// waits for them within kReaderStopMs. A reader the stop could not reach is
// left running and ends with the process: it holds no lock, file or record
// write by then (its record is kept, never freed under it).
bool StopReadersForQuit() {
  const auto began = std::chrono::steady_clock::now();
  (void)StopPkgInfoReader(0);
  (void)StopServerInfoReader(0);
  const bool package_ended = StopPkgInfoReader(kReaderStopMs);
  const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now() - began)
                         .count();
  const int left = spent >= kReaderStopMs ? 0 : kReaderStopMs - static_cast<int>(spent);
  const bool channel_ended = StopServerInfoReader(left);
  return package_ended && channel_ended;
}

int RunInstaller(HINSTANCE /*instance*/) {
  CSingleInstance single_instance;
  StreamHolder own_file;
  try {
    if (!single_instance.AcquireFirst()) {
      // Nothing else has run: no context, no logger, no records.
      HandOverToFirstInstance();
      return 0;
    }
    CreateAppContext();
    // Before the logger's first use binds the SDK: its archive goes into this
    // run's cache, the SDK itself under the maker data directory.
    CSdkBinding::SetLocations({RunCacheDirectory(), MakerDataDirectory()});
    MakeDpiAware();
    const LaunchFacts facts = GatherLaunchFacts(&own_file);
    // The lower layers report through the event sink; here it is the logger.
    SetProcessEventSink(GetLogger());
    SendLaunchReport(facts);

    try {
      StartServerInformation();
    } catch (...) {
      // Without the records or the directory the pages still work; they
      // report their own failures later.
    }

    // The progress page's download controller with the installer's services,
    // which live up here since the layers were split.
    // Every page is handed the narrow parts of the logger it uses.
    ILoggerServer* logger = GetLogger();
    PageContext pages;
    pages.events = logger;
    pages.actions = logger;
    pages.machineId = logger;
    pages.urlOpener = logger;
    pages.userLauncher = logger;
    pages.delivery = logger;
    pages.progress.createDownloader = [] { return CreateDownloader(); };
    const auto openUrl = [logger](const std::wstring& url, const std::wstring& launcher) {
      return OpenUrlInBrowser(url, launcher, *logger, *logger);
    };
    std::unique_ptr<MainWindow> window(new MainWindow(openUrl, std::move(pages)));
    if (window->hwnd() != nullptr) {
      ShowWindow(window->hwnd(), SW_SHOWNORMAL);
      UpdateWindow(window->hwnd());
    }
    RunMessageLoop();
    // Destroying the pages waits for their threads: only once they have
    // ended. A worker still waiting on the system keeps the window, which
    // the process exit then ends with it: a stopped worker sends no record
    // and writes nothing the installer trusts (at most bytes of the
    // unverified partial file), and the window's graphics stay valid for it.
    if (window->StopWorkersWithin(kWindowStopMs)) {
      window.reset();
    } else {
      (void)window.release();
    }
  } catch (...) {
    // Whatever escaped start-up or the loop: the quit records still go out.
  }
  own_file.reset();
  const bool readers_ended = StopReadersForQuit();
  try {
    SendQuitRecords();
  } catch (...) {
    // The exit code stays 0 whatever the analytics do.
  }
  // A reader still inside a connect or a name lookup may read the context
  // when that call returns; it is left to the process exit with the reader.
  if (readers_ended) DeleteAppContext();
  single_instance.Close();
  return 0;
}

}  // namespace pelmar
