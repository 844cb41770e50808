// pkgfetch: downloads a package exactly as the progress page does, for
// benchmarks and for checking a server by hand.
//
//   pkgfetch [--md5 DIGEST] [--version V] URL...
//
// The given URLs, digest and version take the place of the server's package
// record (which carries no release statement: the maker's signed statement
// is fetched beside the first URL that answers, "<URL>.sig", and checked
// against the keys this build pins); the real URL query and download
// controller run, polled every 50 ms. Prints the progress, the final state and the file's path.
// Exit code 0 when the controller reached "done" with a verified file, 1 on a download failure, 2
// on bad arguments.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/downloader_services.h"
#include "base/app_context.h"
#include "base/file_system.h"
#include "base/text_convert.h"
#include "download/package_record.h"
#include "net/socket_ops.h"
#include "services/logger_server.h"

namespace {

constexpr int kPollMs = 50;
// One hour of polling: far beyond any download the tool is meant for, but a
// bound all the same.
constexpr int kMaxPolls = 72000;

int Usage(const char* why) {
  std::fprintf(stderr, "pkgfetch: %s\nusage: pkgfetch [--md5 DIGEST] [--version V] URL...\n", why);
  return 2;
}

bool IsMd5Text(const std::string& s) {
  if (s.size() != 32) return false;
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) {
      return false;
    }
  }
  return true;
}

const char* StateName(int32_t state) {
  switch (state) {
    case pelmar::IDownloader::kNew:
      return "new";
    case pelmar::IDownloader::kRunning:
      return "running";
    case pelmar::IDownloader::kDestroying:
      return "destroying";
    case pelmar::IDownloader::kDone:
      return "done";
    case pelmar::IDownloader::kFailed:
      return "failed";
    default:
      return "unknown";
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string md5, version;
  std::vector<std::string> urls;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--md5" || arg == "--version") {
      if (i + 1 >= argc) return Usage(("missing value after " + arg).c_str());
      (arg == "--md5" ? md5 : version) = argv[++i];
    } else if (arg == "--help" || arg == "-h") {
      return Usage("help");
    } else if (arg.compare(0, 2, "--") == 0) {
      return Usage(("unknown option " + arg).c_str());
    } else {
      urls.push_back(arg);
    }
  }
  if (urls.empty()) return Usage("no URL given");
  if (!md5.empty() && !IsMd5Text(md5)) return Usage("--md5 wants 32 hexadecimal characters");

  if (!pelmar::StartSockets()) {
    std::fprintf(stderr, "pkgfetch: sockets unavailable\n");
    return 1;
  }
  (void)pelmar::CreateAppContext();
  // The download reports its events to the logger, as in the installer.
  pelmar::SetProcessEventSink(pelmar::GetLogger());
  // Start-up creates the product data directory before anything is stored.
  const std::wstring data_dir = pelmar::ProductDataDirectory();
  if (data_dir.empty() || !pelmar::CreateDirectories(data_dir)) {
    std::fprintf(stderr, "pkgfetch: cannot create the product data directory\n");
  }

  pelmar::CFixedPackageRecord record(urls, md5, version);
  // The given record takes the place of the server's, which is never asked.
  pelmar::DownloaderServices services = pelmar::DefaultDownloaderServices(&record);
  pelmar::IDownloader* downloader = pelmar::CreateDownloader(services);
  if (downloader == nullptr) {
    std::fprintf(stderr, "pkgfetch: cannot create the download controller\n");
    return 1;
  }

  const auto began = std::chrono::steady_clock::now();
  int32_t state =
      downloader->Start() ? pelmar::IDownloader::kRunning : pelmar::IDownloader::kFailed;
  int32_t shown = -1;
  for (int polls = 0; polls < kMaxPolls; ++polls) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    state = downloader->Poll();
    const int32_t progress = downloader->GetProgress();
    if (progress != shown) {
      std::printf("progress %d%%\n", progress);
      std::fflush(stdout);
      shown = progress;
    }
    if (state != pelmar::IDownloader::kRunning) break;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  const std::wstring path = downloader->GetFilePath();
  const std::string url = downloader->GetUrl();
  downloader->Destroy();
  pelmar::DeleteAppContext();

  std::printf("state %d (%s)\n", state, StateName(state));
  std::printf("url %s\n", url.c_str());
  std::printf("file %s\n", pelmar::Utf8FromWide(path).c_str());
  std::printf("seconds %.3f\n", seconds);
  // "Done" means verified: a fresh download against the digests taken as
  // its bytes were written, a reused stored one after reading it once, both
  // against the given digest; reading the file again here would only
  // measure a third pass.
  return state == pelmar::IDownloader::kDone ? 0 : 1;
}
