#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelmar {

// The banner's rules that do not need a window: which picture the installer
// configuration names, where to fetch it, and which frame delays to trust.

// The configuration answer is a few hundred bytes; anything much larger is
// not the configuration.
inline constexpr size_t kMaxInstallerConfigBytes = 64 * 1024;
// A banner of a few hundred pixels with a dozen frames stays far below this;
// a larger "picture" is refused and the fallback stays.
inline constexpr size_t kMaxBannerPictureBytes = 4 * 1024 * 1024;
// More frames than any banner needs; a larger table is not trusted.
inline constexpr int kMaxBannerFrames = 1024;
// Delays are in hundredths of a second. A delay of 0 or 1 would spin the
// animation thread; like browsers, such frames get 1/10 s.
inline constexpr uint32_t kMinFrameDelayCs = 2;
inline constexpr uint32_t kShortFrameDelayCs = 10;
// A GIF stores each delay in 16 bits; a larger value did not come from one.
inline constexpr uint32_t kMaxFrameDelayCs = 65535;

// Every frame is decoded ahead on the banner's own thread and kept: width x
// height x frames pixels of four bytes. A banner of a few hundred pixels
// with a dozen frames is far below this (16 MiB of frames); a larger one is
// refused before anything is decoded past its first frame.
inline constexpr uint64_t kMaxBannerPixels = 4u * 1024 * 1024;

// The banner is a GIF: "GIF87a" or "GIF89a", then the logical screen's
// width and height (16-bit little-endian, each at least 1). False for any
// other bytes, so the image library never sees another format.
[[nodiscard]] bool ReadGifScreenSize(std::string_view bytes, uint32_t* width, uint32_t* height);

// Whether `frames` frames of `width` x `height` stay within kMaxBannerPixels.
[[nodiscard]] bool BannerWithinBounds(uint32_t width, uint32_t height, int frames);

// The picture address of the installer configuration: "gif_url" of
// "data"."ProductsShow" when "code" is "server.success"; empty for any other
// body (not JSON, too large, another code, a member missing or not a string).
std::string ExtractGifUrl(std::string_view body);

// Where the picture is fetched: over plain HTTP.
struct GifLocation {
  std::string host;
  uint16_t port = 80;
  std::string path;  // starts with "/"
};

// Splits "http://host[:port]/field/..." on "/" (empty fields dropped): the
// second field is the host with an optional decimal port (1..65535), the
// fields after it form the path. False for an address the plain-http check
// refuses (another scheme, a byte that would end or split the request line),
// fewer than three fields, an empty host, or a port that is not a number in
// range.
[[nodiscard]] bool SplitGifUrl(std::string_view url, GifLocation* location);

// The frame delays of a picture with `frameCount` frames from the frame-delay
// property's value (`valueBytes` bytes of 32-bit little-endian values). False
// when the count is not 1..kMaxBannerFrames or the table does not hold
// exactly one delay per frame. Short delays are raised (kMinFrameDelayCs),
// long ones cut to kMaxFrameDelayCs.
[[nodiscard]] bool ReadFrameDelays(int frameCount, const void* value, size_t valueBytes,
                                   std::vector<uint32_t>* delaysCs);

}  // namespace pelmar
