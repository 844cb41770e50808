#include "services/movie_decoder.h"

#include <memory>

#include "base/win/gdiplus_include.h"
#include "base/win/picture_bytes.h"
#include "services/movie_rules.h"

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

// The frame-delay table of `image`, one per frame; false when it is
// unreadable, or missing from an animation (which then cannot be played).
bool ReadDelays(Gdiplus::Image* image, int count, std::vector<uint32_t>* delays) {
  const UINT size = image->GetPropertyItemSize(PropertyTagFrameDelay);
  if (size < sizeof(Gdiplus::PropertyItem)) return count == 1;
  std::vector<unsigned char> buffer(size);
  auto* item = reinterpret_cast<Gdiplus::PropertyItem*>(buffer.data());
  if (image->GetPropertyItem(PropertyTagFrameDelay, size, item) != Gdiplus::Ok) return false;
  // The value must lie inside what GDI+ filled in.
  const auto* value = static_cast<const unsigned char*>(item->value);
  const unsigned char* end = buffer.data() + buffer.size();
  if (value < buffer.data() || value > end || item->length > static_cast<ULONG>(end - value)) {
    return false;
  }
  return ReadFrameDelays(count, value, item->length, delays);
}

// Every frame drawn once into pixels of its own, here on the caller's
// thread: whoever shows them then only copies pixels.
bool RenderFrames(Gdiplus::Image* image, const GUID& dimension, int count,
                  std::vector<std::vector<uint32_t>>* frames) {
  const UINT width = image->GetWidth();
  const UINT height = image->GetHeight();
  if (!BannerWithinBounds(width, height, count)) return false;
  std::vector<std::vector<uint32_t>> out;
  for (int i = 0; i < count; ++i) {
    if (image->SelectActiveFrame(&dimension, static_cast<UINT>(i)) != Gdiplus::Ok) return false;
    std::vector<uint32_t> pixels(size_t{width} * height);
    Gdiplus::Bitmap frame(static_cast<INT>(width), static_cast<INT>(height),
                          static_cast<INT>(width * sizeof(uint32_t)), PixelFormat32bppPARGB,
                          reinterpret_cast<BYTE*>(pixels.data()));
    if (frame.GetLastStatus() != Gdiplus::Ok) return false;
    {
      Gdiplus::Graphics g(&frame);
      if (g.DrawImage(image, 0, 0, static_cast<INT>(width), static_cast<INT>(height)) !=
          Gdiplus::Ok) {
        return false;
      }
    }
    out.push_back(std::move(pixels));
  }
  *frames = std::move(out);
  return true;
}

}  // namespace

bool DecodeMovie(const std::string& bytes, MovieFrames* movie) {
  if (bytes.empty()) return false;
  std::unique_ptr<Gdiplus::Image> image = DecodePicture(bytes);
  if (!image || image->GetFrameDimensionsCount() < 1) return false;
  GUID dimension{};
  if (image->GetFrameDimensionsList(&dimension, 1) != Gdiplus::Ok) return false;
  const int count = static_cast<int>(image->GetFrameCount(&dimension));
  if (count < 1 || count > kMaxBannerFrames) return false;

  MovieFrames decoded;
  if (!ReadDelays(image.get(), count, &decoded.delaysCs)) return false;
  if (!RenderFrames(image.get(), dimension, count, &decoded.pixels)) return false;
  decoded.width = image->GetWidth();
  decoded.height = image->GetHeight();
  *movie = std::move(decoded);
  return true;
}

}  // namespace pelmar
