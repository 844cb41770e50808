#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/movie_sink.h"
#include "base/x_mutex.h"
#include "ui/image_resource.h"

namespace Gdiplus {
class Bitmap;
}  // namespace Gdiplus

namespace pelmar {

// The banner picture (type 4, looked through by hit-testing): shows the
// frames its worker hands over and repaints at each frame the worker names,
// by posting WM_MOVIE_FRAME to the window. Until frames arrive, and whenever
// none do, it shows the fallback picture. It fetches and decodes nothing
// itself: whoever creates it starts a worker with it as the sink.
//
// Threads: Draw, SetRect and SetPaused run on the user-interface thread; the
// IMovieSink operations on the worker's thread. `mutex_` guards the frames,
// the frame index and the movie rectangle.
class CMovieResource final : public CImageResource, public IMovieSink {
 public:
  // `fallback` is not owned (a skin picture); may be null.
  CMovieResource(HWND hwnd, Gdiplus::Image* fallback, int id, const WidgetStyleSet* styles);
  ~CMovieResource() override;

  bool Draw(NativeDc hdc) override;
  bool SetRect(int left, int top, int right, int bottom) override;

  // While paused the animation goes on but posts no frame message.
  void SetPaused(bool paused) { paused_.store(paused); }
  bool paused() const { return paused_.load(); }
  // Whether the downloaded picture replaced the fallback.
  bool HasMovie();
  int FrameCount();
  // Hundredths of a second per frame, as played.
  std::vector<uint32_t> FrameDelays();
  UiRect MovieRect();

  // IMovieSink, entered on the worker's thread.
  bool DrawnOnce() const override { return drawn_.load(); }
  void ShowMovie(MovieFrames movie) override;
  void ShowFrame(int index) override;

 private:
  void UpdateMovieRect();

  const HWND hwnd_;
  Gdiplus::Image* const fallback_;

  CXMutex mutex_;
  MovieFrames movie_;  // guarded by mutex_; the pixels behind frames_
  // Each frame's pixels as a picture to draw (no copy, no decoding).
  std::vector<std::unique_ptr<Gdiplus::Bitmap>> frames_;  // guarded by mutex_
  int frame_ = 0;                                         // guarded by mutex_
  UiRect movieRect_;                                      // guarded by mutex_

  std::atomic<bool> drawn_{false};
  std::atomic<bool> paused_{false};
};

}  // namespace pelmar
