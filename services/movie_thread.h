#pragma once

#include <cstdint>
#include <string>

#include "base/movie_sink.h"
#include "base/stop_token.h"
#include "base/worker_thread.h"
#include "services/server_exchange.h"

namespace pelmar {

// The banner's worker: once its widget has been drawn, asks the installer
// configuration for a picture address, downloads the GIF, decodes and draws
// every frame, hands them to the widget and then plays them at their own
// delays, telling the widget each frame. Any failure (the configuration, the
// address, the picture, its frames) ends the thread and leaves the widget's
// fallback picture; nothing is reported.
//
// Threads: everything but construction, RequestStop, IsRunning, ExitCode and
// destruction runs on the worker's own thread; the sink is entered only from
// there.
class CMovieThread final {
 public:
  // Time limit of each receive and send of the two requests; also bounds
  // how long destruction waits for a request a stop could not wake.
  static constexpr int kTimeLimitMs = 3000;
  // How often the thread looks whether the widget has been drawn.
  static constexpr int kDrawnPollMs = 10;

  // An empty configuration host asks nothing. `sink` must outlive the thread.
  // `timeLimitMs`: each receive's and send's limit (tests lengthen it).
  CMovieThread(IMovieSink* sink, ServerEndpoint config, std::string configPath,
               int timeLimitMs = kTimeLimitMs);
  // Stops the thread, waking a request in progress, and waits for it.
  ~CMovieThread();
  CMovieThread(const CMovieThread&) = delete;
  CMovieThread& operator=(const CMovieThread&) = delete;

  // For a quit: asks the thread to end without waiting (a connect ends at
  // once, a receive within its limit); IsRunning() tells when it has.
  void RequestStop() { exchange_.AskToStop(worker_); }
  bool IsRunning() const { return worker_.Running(); }
  // 0 when it played (or was stopped before asking), 1 when it gave up;
  // valid once not running.
  uint32_t ExitCode() const { return worker_.ExitCode(); }

 private:
  uint32_t Run(CStopToken& stop);
  // Each returns false (or an empty text) on any failure or a stop.
  std::string FetchGifUrl(const CStopToken& stop);
  [[nodiscard]] bool FetchMovie(const CStopToken& stop, const std::string& url, MovieFrames* movie);
  void Animate(CStopToken& stop, const std::vector<uint32_t>& delaysCs, int frameCount);

  IMovieSink* const sink_;
  const ServerEndpoint config_;
  const std::string configPath_;
  const int timeLimitMs_;
  CServerExchange exchange_;  // the request in progress, which a stop shuts
  CWorkerThread worker_;      // last: its thread ends before what it uses goes
};

}  // namespace pelmar
