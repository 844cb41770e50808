#include "download/query_url_info_thread.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

#include "base/ansi_path.h"
#include "base/file_system.h"
#include "base/pelmar_error.h"
#include "base/text_convert.h"
#include "download/download_events.h"
#include "download/download_file_name.h"
#include "net/parse_url.h"
#include "net/socket_ops.h"
#include "net/tcp_http.h"
#include "pelmar_config.h"

namespace pelmar {
namespace {

constexpr int kPauseSliceMs = 10;
constexpr int kStartWaitMs = 5;
constexpr const char* kBuiltinPath = config::kBuiltinPackagePath;

std::string HostAndPort(const char* host, int port) {
  std::string text = host;
  if (port != 80) text += ":" + std::to_string(port);
  return text;
}

}  // namespace

std::string DetachedReleaseUrl(const std::string& url) {
  const size_t query = url.find_first_of("?#");
  if (query == std::string::npos) return url + ".sig";
  return url.substr(0, query) + ".sig" + url.substr(query);
}

std::string BuiltinDownloadUrl() {
  return "http://" + HostAndPort(config::kCdn.host, config::kCdn.port) + kBuiltinPath;
}

UrlQuerySettings DefaultUrlQuerySettings(IPackageRecord* package) {
  UrlQuerySettings s;
  s.package = package;
  s.programPath = ModulePath();
  s.builtinUrl = BuiltinDownloadUrl();
  s.probeHosts = {config::kSupport.host, config::kSupportIp};
  s.probePort = static_cast<uint16_t>(config::kSupport.port);
  return s;
}

QueryUrlInfoThread::QueryUrlInfoThread(std::string url, IUrlInfoReceiver* receiver,
                                       UrlQuerySettings settings)
    : receiver_(receiver), settings_(std::move(settings)), url_(std::move(url)) {
  Release();
  // The controller never sees a query whose thread has not begun. The wait
  // ends too if the thread could not be made at all.
  while (!started_.load() && HasThread() && IsRunning()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kStartWaitMs));
  }
}

QueryUrlInfoThread::~QueryUrlInfoThread() {
  stop_.store(true);
  if (HasThread()) exchange_.StopAndWake([this] { return IsRunning(); });
  Join();
}

std::string QueryUrlInfoThread::GetQueryUrl() {
  std::lock_guard<CXMutex> lock(result_lock_);
  return url_;
}

std::string QueryUrlInfoThread::GetFirstResultUrl() {
  std::lock_guard<CXMutex> lock(result_lock_);
  return result_.urls.empty() ? std::string() : result_.urls.front();
}

UrlInfo QueryUrlInfoThread::GetResult() {
  std::lock_guard<CXMutex> lock(result_lock_);
  return result_;
}

void QueryUrlInfoThread::CheckStop() const {
  if (stop_.load()) throw PelmarError("user query stop thread");
  if (std::chrono::steady_clock::now() >= deadline_) throw PelmarError("url query deadline passed");
}

void QueryUrlInfoThread::Pause(int ms) const {
  const auto until =
      std::min(deadline_, std::chrono::steady_clock::now() + std::chrono::milliseconds(ms));
  while (!stop_.load() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kPauseSliceMs));
  }
}

uint32_t QueryUrlInfoThread::Run() {
  deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(settings_.deadlineMs);
  started_.store(true);
  try {
    if (!QueryPackageUrls()) {
      CheckStop();
      {
        std::lock_guard<CXMutex> lock(result_lock_);
        url_ = settings_.builtinUrl;
      }
      if (!QueryOneUrl(settings_.builtinUrl, std::string())) {
        SendDownloadErrorEvent(kQueryErrorType, "获取包信息失败");
      } else {
        // The built-in address has no record: its statement is beside it.
        FetchDetachedRelease(settings_.builtinUrl);
      }
    }
  } catch (...) {
    // The receiver decides from the result alone.
  }
  if (receiver_ != nullptr) (void)receiver_->OnUrlInfo(GetResult());
  finished_.store(true);
  return 0;
}

bool QueryUrlInfoThread::QueryPackageUrls() {
  IPackageRecord* const package = settings_.package;
  if (package == nullptr) return false;
  const auto began = std::chrono::steady_clock::now();
  for (;;) {
    const int status = package->GetStatus();
    if (status == IPackageRecord::kReady) break;
    if (status == IPackageRecord::kFailed) return false;
    CheckStop();
    if (std::chrono::steady_clock::now() - began >=
        std::chrono::milliseconds(settings_.packageWaitMs)) {
      return false;
    }
    ProbeNetwork();
    // Without a pause this loop would open connections to the support
    // server as fast as the machine can for up to ten seconds.
    Pause(settings_.probePauseMs);
  }
  // The version becomes part of the file name: a path or anything else that
  // is not a dotted decimal version counts as none.
  const std::string version = DottedVersionOrEmpty(package->GetVersion());
  std::string first_answered;
  for (const std::string& url : package->GetUrls()) {
    CheckStop();
    if (QueryCandidate(url, version) && first_answered.empty()) first_answered = url;
  }
  const SignedReleaseText release = package->GetRelease();
  {
    std::lock_guard<CXMutex> lock(result_lock_);
    if (result_.urls.empty()) {
      // Kept for a stored file's reuse when no URL works.
      result_.release = release;
      return false;
    }
    if (!release.empty()) {
      result_.release = release;
      return true;
    }
  }
  // A record without a statement: the maker may have put it beside the file.
  FetchDetachedRelease(first_answered);
  return true;
}

void QueryUrlInfoThread::FetchDetachedRelease(const std::string& url) {
  if (url.empty()) return;
  CheckStop();
  std::string body;
  try {
    const UrlParts parts = ParseUrl(DetachedReleaseUrl(url));
    body = exchange_.Get({parts.host, parts.port}, settings_.headTimeoutMs, parts.host, parts.path,
                         kMaxSignedReleaseBytes);
  } catch (const std::exception&) {
    CheckStop();
    return;  // no statement: the controller refuses the download
  }
  SignedReleaseText release;
  if (!SplitDetachedRelease(body, &release)) return;
  std::lock_guard<CXMutex> lock(result_lock_);
  result_.release = std::move(release);
}

bool QueryUrlInfoThread::QueryCandidate(const std::string& url, const std::string& version) {
  // The record's addresses are mirrors: one that fails (an error status, no
  // answer, an address that cannot be used) is skipped and the next one is
  // asked, then the built-in address. A stop still ends the whole query.
  try {
    return QueryOneUrl(url, version);
  } catch (const std::exception&) {
    CheckStop();
    return false;
  }
}

bool QueryUrlInfoThread::QueryOneUrl(const std::string& url, const std::string& version) {
  if (url.empty()) return false;
  UrlParts parts = ParseUrl(url);
  host_ = parts.host;
  port_ = parts.port;
  path_ = parts.path;
  std::string target = url;
  const HttpResponseHeader header = HeadWithRedirects(target, parts, 0);
  if (header.lines.empty()) {
    SendDownloadErrorEvent(kQueryErrorType, "获取头信息失败");
    throw PelmarError("http get url header information error");
  }
  std::lock_guard<CXMutex> lock(result_lock_);
  if (result_.fileName.empty()) {
    // The server may only name a plain ".exe" file; any other name is as
    // good as none, and the name is derived from the installer's own.
    const std::wstring named = WideFromAnsi(FileNameFromHeaderLines(header.lines));
    if (IsAcceptableSetupFileName(named)) result_.fileName = named;
  }
  if (result_.fileName.empty() && !settings_.programPath.empty()) {
    result_.fileName = InstallerDerivedFileName(settings_.programPath, WideFromUtf8(version));
  }
  if (result_.fileName.empty()) result_.fileName = L"PelmarPkg.exe";
  if (result_.size <= 0) {
    result_.size = header.contentLength;
    if (result_.size <= 0) {
      result_.fileName.clear();
      return false;
    }
  }
  result_.urls.push_back(target);
  result_.urlParts.push_back(std::move(parts));
  return true;
}

HttpResponseHeader QueryUrlInfoThread::HeadWithRedirects(std::string& url, UrlParts& parts,
                                                         int depth) {
  if (depth > kMaxRedirects) return {};  // a loop, or a chain too long to be sane
  HttpResponseHeader header;
  for (int attempt = 1; attempt <= kHeadAttempts; ++attempt) {
    CheckStop();
    // A resolution error is not retried: it leaves the query.
    auto http = std::make_unique<CTCPHttp>(parts.host, parts.port);
    (void)http->SetTimeouts(settings_.headTimeoutMs, settings_.headTimeoutMs);
    const auto deadline =
        std::min(deadline_,
                 std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(settings_.headTimeoutMs) * kHeadDeadlineReadLimits);
    try {
      header = exchange_.Head(*http, parts.host, parts.path, deadline);
    } catch (const std::exception&) {
      header = HttpResponseHeader();
    }
    if (!header.lines.empty()) break;
    if (attempt == kHeadAttempts) {
      SendDownloadErrorEvent(kQueryErrorType, "重试次数过多");
    } else {
      Pause(settings_.headRetryPauseMs);
    }
  }
  if (header.lines.empty()) return {};
  // A status that is not three digits is no answer we can use.
  const int code = header.StatusCode();
  if (code < 0 || code >= 400) return {};
  if (code < 300) return header;
  if (!header.hasLocation) return header;
  std::string location = header.location;
  if (location.compare(0, 4, "http") != 0 && !location.empty() && location[0] == '/') {
    // Relative to the URL the query started from, not to a hop in between.
    location = "http://" + host_ + ":" + std::to_string(port_) + location;
  }
  // Split once here; the parts go along with the address to the download.
  parts = ParseUrl(location);
  url = location;
  return HeadWithRedirects(url, parts, depth + 1);
}

void QueryUrlInfoThread::ProbeNetwork() {
  for (const std::string& host : settings_.probeHosts) {
    CheckStop();
    uint32_t address = 0;
    if (!SystemResolve(host, &address) && !SystemResolve(host, &address)) continue;
    const uint16_t port = HostToNet16(settings_.probePort);
    for (int attempt = 0; attempt < 2; ++attempt) {
      // A fresh socket per try: a socket whose connect failed is not reusable
      // everywhere.
      CSocket s(SockOpenTcp());
      if (!s.IsValid()) break;
      if (SockConnect(s.Get(), address, port) == SockError::kNone) return;
    }
  }
  SendDownloadErrorEvent(kQueryErrorType, "网络失败");
  throw PelmarError("network connect error");
}

}  // namespace pelmar
