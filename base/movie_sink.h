#pragma once

#include <cstdint>
#include <vector>

namespace pelmar {

// An animated picture decoded into plain pixels: every frame already drawn,
// so whoever shows it only copies pixels and never decodes network bytes.
struct MovieFrames {
  uint32_t width = 0;
  uint32_t height = 0;
  // One entry per frame: width x height premultiplied 32-bit ARGB values,
  // rows top down, no padding.
  std::vector<std::vector<uint32_t>> pixels;
  // Hundredths of a second per frame, as played; empty for a still picture.
  std::vector<uint32_t> delaysCs;
};

// Where the banner's worker hands what it fetched and decoded: the widget
// that shows it implements this, so the widget needs neither the network nor
// a decoder. The worker calls every operation on its own thread.
class IMovieSink {
 public:
  virtual ~IMovieSink() = default;
  // Whether the widget has been drawn once: nothing is fetched before.
  virtual bool DrawnOnce() const = 0;
  // Once, when a picture within the banner's bounds has been decoded.
  virtual void ShowMovie(MovieFrames movie) = 0;
  // The animation reached frame `index` (0 for the one repaint of a still
  // picture).
  virtual void ShowFrame(int index) = 0;
};

}  // namespace pelmar
