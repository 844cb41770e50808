#pragma once

#include <string>
#include <vector>

namespace pelmar {

// What the system answered about one candidate face for one caption.
struct FaceProbe {
  std::wstring name;
  bool exists = false;  // the system creates this face itself, not a substitute
  bool covers = false;  // it has a glyph for every character of the caption
};

// The faces to try for a caption, in order, without repeats (compared without
// case): the designed face; the system's user-interface face; the generic
// sans-serif face; then every installed face that declares Chinese. Empty
// names are left out.
std::vector<std::wstring> FallbackCandidates(const std::wstring& designed,
                                             const std::wstring& systemUiFace,
                                             const std::wstring& genericSansSerif,
                                             const std::vector<std::wstring>& chineseFaces);

// Index of the face to draw with: the first that exists and covers the
// caption; else the first that exists (a caption no face covers still shows
// what it can); -1 when none exists.
int ChooseFace(const std::vector<FaceProbe>& probes);

// The pixel size a caption is drawn at so that it fits: the design size when
// `needed` (its extent at the design size) fits `available`, else the design
// size shrunk in proportion, never below `minimum` (then it is trimmed as
// before). Extents in pixels; non-positive extents keep the design size.
double FitFontPixels(double designPixels, double needed, double available, double minimum);

// The smallest size a fallback caption is shrunk to: three quarters of the design size.
double MinimumFitPixels(double designPixels);

}  // namespace pelmar
