#include "services/movie_thread.h"

#include <exception>

#include "services/movie_decoder.h"
#include "services/movie_rules.h"

namespace pelmar {

CMovieThread::CMovieThread(IMovieSink* sink, ServerEndpoint config, std::string configPath)
    : sink_(sink), config_(std::move(config)), configPath_(std::move(configPath)) {
  Release();
}

CMovieThread::~CMovieThread() {
  // A request blocked on a silent server is woken by shutting its socket;
  // where that does not end a waiting receive, the time limit does.
  exchange_.StopAndWake([this] { return IsRunning(); });
  Join();
}

uint32_t CMovieThread::Run() {
  while (!sink_->DrawnOnce()) {
    if (!exchange_.Pause(kDrawnPollMs)) return 0;
  }
  const std::string url = FetchGifUrl();
  MovieFrames movie;
  if (url.empty() || !FetchMovie(url, &movie)) return 1;
  const std::vector<uint32_t> delays = movie.delaysCs;
  const int count = static_cast<int>(movie.pixels.size());
  sink_->ShowMovie(std::move(movie));
  Animate(delays, count);
  return 0;
}

std::string CMovieThread::FetchGifUrl() {
  if (config_.host.empty()) return {};
  try {
    return ExtractGifUrl(
        exchange_.Get(config_, kTimeLimitMs, config_.host, configPath_, kMaxInstallerConfigBytes));
  } catch (const std::exception&) {
    return {};
  }
}

bool CMovieThread::FetchMovie(const std::string& url, MovieFrames* movie) {
  GifLocation where;
  if (!SplitGifUrl(url, &where)) return false;
  std::string bytes;
  try {
    bytes = exchange_.Get({where.host, where.port}, kTimeLimitMs, where.host, where.path,
                          kMaxBannerPictureBytes);
  } catch (const std::exception&) {
    return false;
  }
  return DecodeMovie(bytes, movie);
}

void CMovieThread::Animate(const std::vector<uint32_t>& delaysCs, int frameCount) {
  if (frameCount == 1) {
    // One repaint shows the picture; a still picture needs no more.
    sink_->ShowFrame(0);
    return;
  }
  if (delaysCs.size() != static_cast<size_t>(frameCount)) return;
  for (int frame = 0;;) {
    if (!exchange_.Pause(static_cast<int>(delaysCs[static_cast<size_t>(frame)] * 10))) return;
    frame = (frame + 1) % frameCount;
    sink_->ShowFrame(frame);
  }
}

}  // namespace pelmar
