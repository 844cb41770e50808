#include "download/download_thread.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/pelmar_error.h"
#include "download/download_events.h"
#include "download/range_response.h"
#include "net/parse_url.h"
#include "net/socket_ops.h"
#include "net/tcp_http.h"

namespace pelmar {
namespace {

constexpr int kPauseSliceMs = 10;

}  // namespace

CDownloadThread::CDownloadThread(const std::string& url, int timeout_ms, int attempt_limit,
                                 int64_t range_start, int64_t range_end, IRangeWriter* writer,
                                 int32_t range_index, const DownloadTimings& timings)
    : CDownloadThread(ParseUrl(url), timeout_ms, attempt_limit, range_start, range_end, writer,
                      range_index, timings) {}

CDownloadThread::CDownloadThread(const UrlParts& url, int timeout_ms, int attempt_limit,
                                 int64_t range_start, int64_t range_end, IRangeWriter* writer,
                                 int32_t range_index, const DownloadTimings& timings)
    : url_host_(url.host),
      url_port_(url.port),
      url_path_(url.path),
      attempt_limit_(attempt_limit),
      receive_position_(range_start),
      range_end_(range_end),
      write_base_(range_start),
      writer_(writer),
      range_index_(range_index),
      timings_(timings) {
  ResolveHostWithFallback(*this, url_host_, url_port_);
  (void)SetTimeouts(timeout_ms, timeout_ms);
  // A cancel ends a connect to a silent address at once, not when the system
  // gives up on it.
  SetStopCheck([this] { return Cancelled(); });
  buffer_ = std::make_unique<char[]>(kBufferBytes);
  Release();
}

CDownloadThread::~CDownloadThread() {
  state_.store(kCancelled);
  Join();
  Close();
}

std::string CDownloadThread::LastRejectReason() const {
  // Read by the owner only after the thread has ended.
  return last_reject_reason_;
}

void CDownloadThread::Pause(int ms) const {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!Cancelled()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= until) return;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now);
    std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(kPauseSliceMs)));
  }
}

uint32_t CDownloadThread::Run() {
  Pause(timings_.startDelayMs);
  int attempt = 0;
  int connect_failures = 0;
  try {
    while (attempt < attempt_limit_) {
      if (Cancelled()) throw PelmarError("User cancel thread");
      try {
        Connect();
      } catch (const std::exception&) {
        if (++connect_failures > kMaxConnectFailures) {
          SendDownloadErrorEvent(kThreadErrorType, "连接错误");
          throw PelmarError("Connect failed");
        }
        Pause(timings_.afterConnectFailureMs);
        ++attempt;
        continue;
      }
      connect_failures = 0;
      if (SendRequest() && ReceiveRange()) {
        int32_t working = kWorking;
        state_.compare_exchange_strong(working, kComplete);
      }
      Close();
      if (state_.load() == kComplete) break;
      Pause(timings_.betweenAttemptsMs);
      ++attempt;
    }
    if (state_.load() == kComplete) return 0;
    SendDownloadErrorEvent(kThreadErrorType, "重试超过最大次数");
    throw PelmarError("download failed");
  } catch (...) {
    // Errors never leave the thread; the owner reads the outcome from its
    // range table.
    int32_t working = kWorking;
    state_.compare_exchange_strong(working, kFailed);
    Close();
    return 0xFFFFFFFF;
  }
}

std::string CDownloadThread::BuildRequest() const {
  return CTCPHttp::BuildRangeRequest(url_host_, url_path_, receive_position_, range_end_);
}

bool CDownloadThread::SendRequest() {
  if (Cancelled()) throw PelmarError("User cancel thread");
  try {
    // The stop check set at construction ends the send at a cancel.
    SendAll(BuildRequest());
  } catch (const PelmarError&) {
    if (Cancelled()) throw;
    return false;
  }
  return true;
}

bool CDownloadThread::ReceiveRange() {
  buffered_ = 0;
  CRangeResponse response(receive_position_, range_end_);
  while (!Cancelled()) {
    const int want = std::min(kPieceBytes, kBufferBytes - buffered_);
    char* const at = buffer_.get() + buffered_;
    const int n = SockRecv(Socket(), at, want);
    if (n <= 0) {
      // Data already taken is kept; the next attempt resumes after it.
      Flush();
      return false;
    }
    const CRangeResponse::Slice slice = response.Feed(at, static_cast<size_t>(n));
    switch (response.GetState()) {
      case CRangeResponse::State::kRedirect:
        FollowRedirect(response.Location());
        return false;
      case CRangeResponse::State::kRejected:
        last_reject_reason_ = response.RejectReason();
        return false;
      default:
        break;
    }
    if (slice.length > 0) {
      // Header bytes stay in the response reader; only data stays here.
      if (slice.offset > 0) std::memmove(at, at + slice.offset, slice.length);
      buffered_ += static_cast<int32_t>(slice.length);
      receive_position_ += static_cast<int64_t>(slice.length);
    }
    if (buffered_ == kBufferBytes || receive_position_ > range_end_) Flush();
    if (receive_position_ > range_end_) return true;
    if (response.GetState() == CRangeResponse::State::kComplete) {
      // The server answered a shorter range; ask for the rest next attempt.
      Flush();
      return false;
    }
  }
  throw PelmarError("User cancel thread");
}

void CDownloadThread::Flush() {
  if (buffered_ == 0) return;
  if (!writer_->WriteRange(buffered_, range_index_, buffer_.get(), write_base_ + written_)) {
    SendDownloadErrorEvent(kThreadErrorType, "写文件出错");
    throw PelmarError(" write file failed");
  }
  written_ += buffered_;
  buffered_ = 0;
}

void CDownloadThread::FollowRedirect(const std::string& location) {
  // A Location without scheme and host makes ParseUrl raise, which fails
  // the thread: the range has no usable source any more.
  const UrlParts parts = ParseUrl(location);
  url_host_ = parts.host;
  url_port_ = parts.port;
  url_path_ = parts.path;
  ResolveHost(*this, url_host_, url_port_);
}

}  // namespace pelmar
