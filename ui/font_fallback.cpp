#include "ui/font_fallback.h"

#include <algorithm>
#include <cwctype>

namespace pelmar {
namespace {

bool SameFace(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
           return std::towlower(static_cast<wint_t>(x)) == std::towlower(static_cast<wint_t>(y));
         });
}

void AddOnce(std::vector<std::wstring>* faces, const std::wstring& face) {
  if (face.empty()) return;
  for (const std::wstring& f : *faces) {
    if (SameFace(f, face)) return;
  }
  faces->push_back(face);
}

}  // namespace

std::vector<std::wstring> FallbackCandidates(const std::wstring& designed,
                                             const std::wstring& systemUiFace,
                                             const std::wstring& genericSansSerif,
                                             const std::vector<std::wstring>& chineseFaces) {
  std::vector<std::wstring> faces;
  AddOnce(&faces, designed);
  AddOnce(&faces, systemUiFace);
  AddOnce(&faces, genericSansSerif);
  for (const std::wstring& f : chineseFaces) AddOnce(&faces, f);
  return faces;
}

int ChooseFace(const std::vector<FaceProbe>& probes) {
  int firstExisting = -1;
  for (size_t i = 0; i < probes.size(); ++i) {
    if (!probes[i].exists) continue;
    if (probes[i].covers) return static_cast<int>(i);
    if (firstExisting < 0) firstExisting = static_cast<int>(i);
  }
  return firstExisting;
}

double FitFontPixels(double designPixels, double needed, double available, double minimum) {
  if (needed <= 0.0 || available <= 0.0 || needed <= available) return designPixels;
  const double shrunk = designPixels * available / needed;
  return std::max(std::min(shrunk, designPixels), std::min(minimum, designPixels));
}

double MinimumFitPixels(double designPixels) { return designPixels * 0.75; }

}  // namespace pelmar
