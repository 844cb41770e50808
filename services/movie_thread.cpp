#include "services/movie_thread.h"

#include "services/movie_decoder.h"
#include "services/movie_rules.h"

namespace pelmar {

CMovieThread::CMovieThread(IMovieSink* sink, ServerEndpoint config, std::string configPath,
                           int timeLimitMs)
    : sink_(sink),
      config_(std::move(config)),
      configPath_(std::move(configPath)),
      timeLimitMs_(timeLimitMs) {
  // Without a thread the widget keeps its fallback picture.
  (void)worker_.Start([this](CStopToken& stop) { return Run(stop); });
}

CMovieThread::~CMovieThread() {
  // A request blocked on a silent server is woken by shutting its socket;
  // where that does not end a waiting receive, the time limit does.
  exchange_.StopAndJoin(worker_);
}

uint32_t CMovieThread::Run(CStopToken& stop) {
  while (!sink_->DrawnOnce()) {
    if (!stop.WaitFor(kDrawnPollMs)) return 0;
  }
  const std::string url = FetchGifUrl(stop);
  MovieFrames movie;
  if (url.empty() || !FetchMovie(stop, url, &movie)) return 1;
  const std::vector<uint32_t> delays = movie.delaysCs;
  const int count = static_cast<int>(movie.pixels.size());
  sink_->ShowMovie(std::move(movie));
  Animate(stop, delays, count);
  return 0;
}

std::string CMovieThread::FetchGifUrl(const CStopToken& stop) {
  if (config_.host.empty()) return {};
  const ExchangeResult answer = exchange_.Get(stop, config_, timeLimitMs_, config_.host,
                                              configPath_, kMaxInstallerConfigBytes);
  return answer.Answered() ? ExtractGifUrl(answer.body) : std::string();
}

bool CMovieThread::FetchMovie(const CStopToken& stop, const std::string& url, MovieFrames* movie) {
  GifLocation where;
  if (!SplitGifUrl(url, &where)) return false;
  const ExchangeResult answer = exchange_.Get(stop, {where.host, where.port}, timeLimitMs_,
                                              where.host, where.path, kMaxBannerPictureBytes);
  return answer.Answered() && DecodeMovie(answer.body, movie);
}

void CMovieThread::Animate(CStopToken& stop, const std::vector<uint32_t>& delaysCs,
                           int frameCount) {
  if (frameCount == 1) {
    // One repaint shows the picture; a still picture needs no more.
    sink_->ShowFrame(0);
    return;
  }
  if (delaysCs.size() != static_cast<size_t>(frameCount)) return;
  for (int frame = 0;;) {
    if (!stop.WaitFor(delaysCs[static_cast<size_t>(frame)] * 10)) return;
    frame = (frame + 1) % frameCount;
    sink_->ShowFrame(frame);
  }
}

}  // namespace pelmar
