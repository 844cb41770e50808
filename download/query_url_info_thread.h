#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "base/pelmar_based_thread.h"
#include "base/release_statement.h"
#include "base/x_mutex.h"
#include "download/package_record.h"
#include "net/http_response_header.h"
#include "net/parse_url.h"
#include "services/server_exchange.h"

namespace pelmar {

// What the URL query found: the file's length, the name to store it under,
// every candidate URL that answered usable headers (after redirects), and
// the maker's signed release statement: the package record's, else the
// detached "<address>.sig" beside the address that answered first.
struct UrlInfo {
  int64_t size = 0;
  std::wstring fileName;
  std::vector<std::string> urls;
  std::vector<UrlParts> urlParts;  // each of `urls`, split once
  SignedReleaseText release;
};

// The address of the detached release beside a download address: ".sig"
// appended to its path (before any query).
std::string DetachedReleaseUrl(const std::string& url);

// Receives the query's result at its end (on the query thread).
class IUrlInfoReceiver {
 public:
  virtual bool OnUrlInfo(const UrlInfo& info) = 0;

 protected:
  ~IUrlInfoReceiver() = default;
};

// Where the query looks and what it may wait for. Defaults are the product's.
// The whole query (the wait for the record, every address, every attempt,
// every redirect) ends within this. Each exchange is bounded, but ten
// attempts at each of a record's addresses, each through up to ten
// redirects, would keep the progress page at 0 % for hours; three minutes is
// many times what a slow network needs for the few HEAD requests of a normal
// query.
inline constexpr int kUrlQueryDeadlineMs = 3 * 60 * 1000;

struct UrlQuerySettings {
  IPackageRecord* package = nullptr;  // null: no package record, built-in URL only
  std::wstring programPath;           // the installer's own file, for the derived name
  std::string builtinUrl;             // the CDN fallback URL
  // Probe targets: the support host by name, then by its fixed address.
  std::vector<std::string> probeHosts;
  uint16_t probePort = 80;
  int packageWaitMs = 10000;  // how long the package record may stay "reading"
  int probePauseMs = 100;     // between two probes while the record is read
  int headRetryPauseMs = 100;
  int headTimeoutMs = 3000;
  int deadlineMs = kUrlQueryDeadlineMs;  // the whole query, from the start of Run
};

// The built-in download URL on the configured CDN host.
std::string BuiltinDownloadUrl();
// Settings of the product for a record (the server's, unless a driver gives
// its own): configured hosts, the running program.
UrlQuerySettings DefaultUrlQuerySettings(IPackageRecord* package);

// Finds out what to download, on its own thread: waits for the package
// record, asks each of its URLs (or the built-in one) with HEAD, follows
// redirects, and hands the result to the receiver, then sets finished.
//
// Threads: constructed and destroyed on the controller's thread; Run on the
// query thread. `stop_`, `started_` and `finished_` are atomics; the URL and
// the result are guarded by `result_lock_` because the controller's GetUrl
// reads them while the query runs.
class QueryUrlInfoThread : public CPelmarBasedThread {
 public:
  // Bounds a chain of redirects, so a redirect loop ends as a failed query.
  static constexpr int kMaxRedirects = 10;
  static constexpr int kHeadAttempts = 10;
  // Each HEAD exchange ends within this many receive limits. A HEAD answer
  // is a few hundred bytes that a live server sends in one or two reads;
  // four limits leave a slow server room, while one trickling a byte just
  // inside each limit is cut off instead of holding the query for minutes.
  static constexpr int kHeadDeadlineReadLimits = 4;

  // Starts the thread and returns once it has begun.
  QueryUrlInfoThread(std::string url, IUrlInfoReceiver* receiver, UrlQuerySettings settings);
  ~QueryUrlInfoThread() override;

  // Asks the thread to end without waiting for it: its pauses and a connect
  // or receive in progress are woken (destruction then waits).
  void RequestStop() {
    stop_.store(true);
    exchange_.RequestStop();
  }
  bool IsFinished() const { return finished_.load(); }
  // The URL being asked when it is the built-in one; else empty.
  std::string GetQueryUrl();
  // The first URL of the result, or empty.
  std::string GetFirstResultUrl();
  // A copy of the result (complete once IsFinished()).
  UrlInfo GetResult();

 protected:
  uint32_t Run() override;

 private:
  void CheckStop() const;
  void Pause(int ms) const;
  [[nodiscard]] bool QueryPackageUrls();
  // One of the record's addresses; false (and the next one is asked) when it
  // cannot be used for any reason but a stop.
  [[nodiscard]] bool QueryCandidate(const std::string& url, const std::string& version);
  // One address: true when it answered with a size. An address that gives no
  // header at all raises.
  [[nodiscard]] bool QueryOneUrl(const std::string& url, const std::string& version);
  // Fetches "<url>.sig" with the bounded body reader and keeps its statement
  // in the result; nothing when it cannot be had or is not of the form.
  void FetchDetachedRelease(const std::string& url);
  // Asks `url` (split into `parts`), following redirects; both end as the
  // address that answered.
  HttpResponseHeader HeadWithRedirects(std::string& url, UrlParts& parts, int depth);
  void ProbeNetwork();

  std::atomic<bool> stop_{false};
  // When the whole query must have ended; set as Run begins (query thread only).
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
  // Wakes the query at a stop: its pauses, and a receive in a HEAD exchange
  // by shutting the exchange's socket down.
  CServerExchange exchange_;
  std::atomic<bool> started_{false};
  std::atomic<bool> finished_{false};
  IUrlInfoReceiver* const receiver_;
  const UrlQuerySettings settings_;
  CXMutex result_lock_;
  std::string url_;  // guarded by result_lock_
  UrlInfo result_;   // guarded by result_lock_
  // The candidate URL being asked (query thread only): relative redirects
  // resolve against it.
  std::string host_;
  uint16_t port_ = 80;
  std::string path_;
};

}  // namespace pelmar
