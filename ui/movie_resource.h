#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/pelmar_based_thread.h"
#include "base/x_mutex.h"
#include "services/server_exchange.h"
#include "ui/image_resource.h"

namespace Gdiplus {
class Bitmap;
}  // namespace Gdiplus

namespace pelmar {

// The banner picture fetched at run time (type 4, looked through by
// hit-testing): asks the installer configuration for a picture address,
// downloads the GIF and plays its frames at their own delays, posting
// WM_MOVIE_FRAME to the window for each. Until a picture arrives, and
// whenever none does, it shows the fallback picture.
//
// Threads: Draw, SetRect and SetPaused run on the user-interface thread; the
// resource's own thread fetches and animates. `mutex_` guards the picture,
// its frame index and the movie rectangle; the configuration and the picture
// bytes belong to the thread alone until the picture is published.
class CMovieResource final : public CImageResource, public CPelmarBasedThread {
 public:
  // Time limit of each receive and send of the two requests; also bounds
  // how long destruction waits for a request a stop could not wake.
  static constexpr int kTimeLimitMs = 3000;
  // How often the thread looks whether the resource has been drawn.
  static constexpr int kDrawnPollMs = 10;

  // An empty host asks nothing and keeps the fallback. `fallback` is not
  // owned (a skin picture); may be null.
  CMovieResource(HWND hwnd, std::string host, uint16_t port, std::string path,
                 Gdiplus::Image* fallback, int id, const WidgetStyleSet* styles);
  // Stops the thread, waking a request in progress, and waits for it.
  ~CMovieResource() override;

  bool Draw(NativeDc hdc) override;
  bool SetRect(int left, int top, int right, int bottom) override;

  // For a quit: asks the thread to end without waiting (a connect ends at
  // once, a receive within its limit); IsRunning() tells when it has.
  void RequestStop() { exchange_.RequestStop(); }
  // While paused the animation goes on but posts no frame message.
  void SetPaused(bool paused) { paused_.store(paused); }
  bool paused() const { return paused_.load(); }
  // Whether the downloaded picture replaced the fallback.
  bool HasMovie();
  int FrameCount();
  // Hundredths of a second per frame, as played.
  std::vector<uint32_t> FrameDelays();
  UiRect MovieRect();

 protected:
  uint32_t Run() override;

 private:
  // Each returns false (or an empty text) on any failure; nothing is reported.
  std::string FetchGifUrl();
  [[nodiscard]] bool FetchMovie(const std::string& url);
  void Animate();
  void UpdateMovieRect();
  void PostFrame();

  const HWND hwnd_;
  const std::string host_;
  const uint16_t port_;
  const std::string path_;
  Gdiplus::Image* const fallback_;

  CXMutex mutex_;
  // The picture's frames, decoded on this resource's thread before they are
  // published; guarded by mutex_ once published.
  std::vector<std::unique_ptr<Gdiplus::Bitmap>> frames_;
  int frameCount_ = 0;              // guarded by mutex_
  std::vector<uint32_t> delaysCs_;  // guarded by mutex_
  int frame_ = 0;                   // guarded by mutex_
  UiRect movieRect_;                // guarded by mutex_

  std::atomic<bool> drawn_{false};
  std::atomic<bool> paused_{false};
  CServerExchange exchange_;  // the stop flag and the request in progress
};

}  // namespace pelmar
