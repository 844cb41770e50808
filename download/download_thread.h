#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "base/pelmar_based_thread.h"
#include "net/parse_url.h"
#include "net/tcp_client.h"

namespace pelmar {

// What a download thread hands its bytes to (the download controller).
class IRangeWriter {
 public:
  // Writes `count` bytes of range `index` at file offset `offset`; true when
  // every byte was written. Called from download threads.
  virtual bool WriteRange(int32_t count, int32_t index, const char* data, int64_t offset) = 0;

 protected:
  ~IRangeWriter() = default;
};

// The pauses of a download thread. Tests shorten the pause between attempts
// so that using up every attempt does not take ten seconds.
struct DownloadTimings {
  int startDelayMs = 10;           // before the first attempt
  int afterConnectFailureMs = 10;  // after a failed connect
  int betweenAttemptsMs = 500;     // after any other failed attempt
};

// Downloads one byte range with HTTP Range requests on its own thread and its
// own connection (the thread object is the connection), resuming from the
// first byte not yet received after a drop, a time-out or a redirect, up to
// the attempt limit. Received data goes to the writer in blocks of up to
// kBufferBytes; the writer keeps the range table, so the owner learns the
// outcome from that table once the thread has ended.
//
// Threads: the constructor and destructor run on the owner's thread; Run and
// everything it calls on the download thread. The owner writes only `state_`
// (cancel), which the download thread reads afresh at every check.
class CDownloadThread : public CPelmarBasedThread, public CTCPClient {
 public:
  enum State : int32_t { kWorking = 1, kCancelled = 3, kComplete = 4, kFailed = 5 };

  // Collects received data so the writer's lock is taken about once per MiB.
  static constexpr int32_t kBufferBytes = 1 << 20;
  // One receive or send call moves at most this many bytes.
  static constexpr int32_t kPieceBytes = 1024;
  // Connect failures in a row after which the thread gives up.
  static constexpr int kMaxConnectFailures = 10;

  // Splits the URL (raises "init url failed"), resolves its host (raises
  // "Can't resolve host name" after the fallback resolver), sets both time
  // limits to `timeout_ms` and starts the thread.
  CDownloadThread(const std::string& url, int timeout_ms, int attempt_limit, int64_t range_start,
                  int64_t range_end, IRangeWriter* writer, int32_t range_index,
                  const DownloadTimings& timings = DownloadTimings());
  // The same for a URL the query has split already.
  CDownloadThread(const UrlParts& url, int timeout_ms, int attempt_limit, int64_t range_start,
                  int64_t range_end, IRangeWriter* writer, int32_t range_index,
                  const DownloadTimings& timings = DownloadTimings());
  // Cancels and waits for the thread without a time limit.
  ~CDownloadThread() override;

  // Asks the thread to end without waiting for it: a connect in progress
  // ends at once, a receive within its time limit (destruction then waits).
  void RequestCancel() { state_.store(kCancelled); }
  int32_t GetState() const { return state_.load(); }
  // Why the last answer was not taken as data (diagnostics only).
  std::string LastRejectReason() const;

  // The request text for the current location and receive position.
  std::string BuildRequest() const;

 protected:
  uint32_t Run() override;

 private:
  bool Cancelled() const { return state_.load() == kCancelled; }
  // Waits `ms` in short slices so a cancel ends the wait early.
  void Pause(int ms) const;
  [[nodiscard]] bool SendRequest();
  [[nodiscard]] bool ReceiveRange();
  void Flush();
  void FollowRedirect(const std::string& location);

  std::atomic<int32_t> state_{kWorking};
  std::unique_ptr<char[]> buffer_;
  int32_t buffered_ = 0;
  // The location asked; the name is kept for the Host line even when the
  // connection resolves through the own DNS client.
  std::string url_host_;
  uint16_t url_port_ = 80;
  std::string url_path_;
  const int attempt_limit_;
  int64_t receive_position_;
  const int64_t range_end_;
  const int64_t write_base_;
  int64_t written_ = 0;
  IRangeWriter* const writer_;
  const int32_t range_index_;
  const DownloadTimings timings_;
  std::string last_reject_reason_;  // download thread only while it runs
};

}  // namespace pelmar
