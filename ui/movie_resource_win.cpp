#include "ui/movie_resource.h"

#include <mutex>

#include "base/win/gdiplus_include.h"
#include "ui/view_geometry.h"
#include "ui/window_messages.h"

namespace pelmar {
namespace {

// Pictures over the decoded pixels: they share the memory, so nothing is
// decoded or copied here.
std::vector<std::unique_ptr<Gdiplus::Bitmap>> WrapFrames(MovieFrames* movie) {
  std::vector<std::unique_ptr<Gdiplus::Bitmap>> frames;
  const INT width = static_cast<INT>(movie->width);
  const INT height = static_cast<INT>(movie->height);
  for (std::vector<uint32_t>& pixels : movie->pixels) {
    if (pixels.size() != size_t{movie->width} * movie->height) return {};
    auto frame = std::make_unique<Gdiplus::Bitmap>(
        width, height, static_cast<INT>(width * sizeof(uint32_t)), PixelFormat32bppPARGB,
        reinterpret_cast<BYTE*>(pixels.data()));
    if (frame->GetLastStatus() != Gdiplus::Ok) return {};
    frames.push_back(std::move(frame));
  }
  return frames;
}

}  // namespace

CMovieResource::CMovieResource(HWND hwnd, Gdiplus::Image* fallback, int id,
                               const WidgetStyleSet* styles)
    : CImageResource(id, styles, kTypeMovie), hwnd_(hwnd), fallback_(fallback) {
  UpdateMovieRect();
}

CMovieResource::~CMovieResource() = default;

bool CMovieResource::HasMovie() {
  std::lock_guard<CXMutex> lock(mutex_);
  return !frames_.empty();
}

int CMovieResource::FrameCount() {
  std::lock_guard<CXMutex> lock(mutex_);
  return static_cast<int>(frames_.size());
}

std::vector<uint32_t> CMovieResource::FrameDelays() {
  std::lock_guard<CXMutex> lock(mutex_);
  return movie_.delaysCs;
}

UiRect CMovieResource::MovieRect() {
  std::lock_guard<CXMutex> lock(mutex_);
  return movieRect_;
}

bool CMovieResource::Draw(NativeDc hdc) {
  drawn_.store(true);
  std::lock_guard<CXMutex> lock(mutex_);
  if (!visible_) return true;
  Gdiplus::Graphics g(hdc);
  const bool drawn = DrawBase(g);
  if (!frames_.empty()) {
    DrawPicture(g, frames_[static_cast<size_t>(frame_)].get(), movieRect_);
  } else {
    DrawPicture(g, fallback_, movieRect_);
  }
  return drawn;
}

bool CMovieResource::SetRect(int left, int top, int right, int bottom) {
  std::lock_guard<CXMutex> lock(mutex_);
  const bool placed = CImageResource::SetRect(left, top, right, bottom);
  UpdateMovieRect();
  return placed;
}

void CMovieResource::UpdateMovieRect() {
  std::lock_guard<CXMutex> lock(mutex_);
  unsigned w = 0, h = 0;
  PictureSize(frames_.empty() ? fallback_ : frames_.front().get(), &w, &h);
  movieRect_ = FitCentered(rect_, w, h);
}

void CMovieResource::ShowMovie(MovieFrames movie) {
  std::vector<std::unique_ptr<Gdiplus::Bitmap>> frames = WrapFrames(&movie);
  if (frames.empty()) return;
  std::lock_guard<CXMutex> lock(mutex_);
  // The pictures point into the pixel buffers, which moving keeps in place.
  movie_ = std::move(movie);
  frames_ = std::move(frames);
  frame_ = 0;
  UpdateMovieRect();
}

void CMovieResource::ShowFrame(int index) {
  std::lock_guard<CXMutex> lock(mutex_);
  if (index < 0 || static_cast<size_t>(index) >= frames_.size()) return;
  frame_ = index;
  // A still picture is shown by its one repaint, paused or not.
  if (frames_.size() == 1 || !paused_.load()) PostMessageW(hwnd_, WM_MOVIE_FRAME, 0, 0);
}

}  // namespace pelmar
