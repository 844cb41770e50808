#include "ui/movie_resource.h"

#include <mutex>

#include "ui/gdiplus_include.h"
#include "ui/movie_rules.h"
#include "ui/picture_bytes_win.h"
#include "ui/view_geometry.h"
#include "ui/window_messages.h"

namespace pelmar {
namespace {

// The picture decoded from `bytes`, or null when they are not a GIF within
// the banner's bounds or GDI+ cannot read them.
std::unique_ptr<Gdiplus::Image> DecodePicture(const std::string& bytes) {
  uint32_t width = 0, height = 0;
  if (!ReadGifScreenSize(bytes, &width, &height) || !BannerWithinBounds(width, height, 1)) {
    return nullptr;
  }
  std::unique_ptr<Gdiplus::Image> image = PictureFromBytes(bytes);
  if (!image || image->GetLastStatus() != Gdiplus::Ok) return nullptr;
  return image;
}

// Every frame drawn once into a bitmap of its own, here on the banner's
// thread: the user-interface thread then only copies pixels, and never
// decodes a frame the network sent.
bool RenderFrames(Gdiplus::Image* image, const GUID& dimension, int count,
                  std::vector<std::unique_ptr<Gdiplus::Bitmap>>* frames) {
  const UINT width = image->GetWidth();
  const UINT height = image->GetHeight();
  if (!BannerWithinBounds(width, height, count)) return false;
  std::vector<std::unique_ptr<Gdiplus::Bitmap>> out;
  for (int i = 0; i < count; ++i) {
    if (image->SelectActiveFrame(&dimension, static_cast<UINT>(i)) != Gdiplus::Ok) return false;
    auto frame = std::make_unique<Gdiplus::Bitmap>(static_cast<INT>(width),
                                                   static_cast<INT>(height), PixelFormat32bppPARGB);
    if (frame->GetLastStatus() != Gdiplus::Ok) return false;
    Gdiplus::Graphics g(frame.get());
    if (g.DrawImage(image, 0, 0, static_cast<INT>(width), static_cast<INT>(height)) !=
        Gdiplus::Ok) {
      return false;
    }
    out.push_back(std::move(frame));
  }
  *frames = std::move(out);
  return true;
}

}  // namespace

CMovieResource::CMovieResource(HWND hwnd, std::string host, uint16_t port, std::string path,
                               Gdiplus::Image* fallback, int id, const WidgetStyleSet* styles)
    : CImageResource(id, styles, kTypeMovie),
      hwnd_(hwnd),
      host_(std::move(host)),
      port_(port),
      path_(std::move(path)),
      fallback_(fallback) {
  UpdateMovieRect();
  Release();
}

CMovieResource::~CMovieResource() {
  // A request blocked on a silent server is woken by shutting its socket;
  // where that does not end a waiting receive, the time limit does.
  exchange_.StopAndWake([this] { return IsRunning(); });
  Join();
}

bool CMovieResource::HasMovie() {
  std::lock_guard<CXMutex> lock(mutex_);
  return !frames_.empty();
}

int CMovieResource::FrameCount() {
  std::lock_guard<CXMutex> lock(mutex_);
  return frameCount_;
}

std::vector<uint32_t> CMovieResource::FrameDelays() {
  std::lock_guard<CXMutex> lock(mutex_);
  return delaysCs_;
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

void CMovieResource::PostFrame() {
  if (!paused_.load()) PostMessageW(hwnd_, WM_MOVIE_FRAME, 0, 0);
}

uint32_t CMovieResource::Run() {
  while (!drawn_.load()) {
    if (!exchange_.Pause(kDrawnPollMs)) return 0;
  }
  const std::string url = FetchGifUrl();
  if (url.empty() || !FetchMovie(url)) return 1;
  Animate();
  return 0;
}

std::string CMovieResource::FetchGifUrl() {
  if (host_.empty()) return {};
  try {
    return ExtractGifUrl(
        exchange_.Get({host_, port_}, kTimeLimitMs, host_, path_, kMaxInstallerConfigBytes));
  } catch (const std::exception&) {
    return {};
  }
}

bool CMovieResource::FetchMovie(const std::string& url) {
  GifLocation where;
  if (!SplitGifUrl(url, &where)) return false;
  std::string bytes;
  try {
    bytes = exchange_.Get({where.host, where.port}, kTimeLimitMs, where.host, where.path,
                          kMaxBannerPictureBytes);
  } catch (const std::exception&) {
    return false;
  }
  if (bytes.empty()) return false;
  std::unique_ptr<Gdiplus::Image> image = DecodePicture(bytes);
  if (!image || image->GetFrameDimensionsCount() < 1) return false;
  GUID dimension{};
  if (image->GetFrameDimensionsList(&dimension, 1) != Gdiplus::Ok) return false;
  const int count = static_cast<int>(image->GetFrameCount(&dimension));
  if (count < 1 || count > kMaxBannerFrames) return false;

  std::vector<uint32_t> delays;
  const UINT size = image->GetPropertyItemSize(PropertyTagFrameDelay);
  if (size >= sizeof(Gdiplus::PropertyItem)) {
    std::vector<unsigned char> buffer(size);
    auto* item = reinterpret_cast<Gdiplus::PropertyItem*>(buffer.data());
    if (image->GetPropertyItem(PropertyTagFrameDelay, size, item) != Gdiplus::Ok) return false;
    // The value must lie inside what GDI+ filled in.
    const auto* value = static_cast<const unsigned char*>(item->value);
    const unsigned char* end = buffer.data() + buffer.size();
    if (value < buffer.data() || value > end || item->length > static_cast<ULONG>(end - value))
      return false;
    if (!ReadFrameDelays(count, value, item->length, &delays)) return false;
  } else if (count > 1) {
    // An animation without delays cannot be played.
    return false;
  }

  std::vector<std::unique_ptr<Gdiplus::Bitmap>> frames;
  if (!RenderFrames(image.get(), dimension, count, &frames)) return false;

  std::lock_guard<CXMutex> lock(mutex_);
  frames_ = std::move(frames);
  frameCount_ = count;
  delaysCs_ = std::move(delays);
  frame_ = 0;
  UpdateMovieRect();
  return true;
}

void CMovieResource::Animate() {
  int count = 0;
  {
    std::lock_guard<CXMutex> lock(mutex_);
    count = frameCount_;
  }
  if (count == 1) {
    {
      std::lock_guard<CXMutex> lock(mutex_);
      frame_ = 0;
    }
    // One repaint shows the picture; a still picture needs no more.
    PostMessageW(hwnd_, WM_MOVIE_FRAME, 0, 0);
    return;
  }
  for (;;) {
    uint32_t delayCs = 0;
    {
      std::lock_guard<CXMutex> lock(mutex_);
      delayCs = delaysCs_[static_cast<size_t>(frame_)];
    }
    if (!exchange_.Pause(static_cast<int>(delayCs * 10))) return;
    std::lock_guard<CXMutex> lock(mutex_);
    frame_ = (frame_ + 1) % frameCount_;
    PostFrame();
  }
}

}  // namespace pelmar
