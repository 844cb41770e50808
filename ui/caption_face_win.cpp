#include "ui/caption_face.h"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "base/win/scoped_handle.h"
#include "ui/font_fallback.h"
#include "base/win/gdiplus_include.h"

namespace pelmar {
namespace {

std::wstring SystemUiFace() {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof(metrics);
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) return {};
  return metrics.lfMessageFont.lfFaceName;
}

std::wstring GenericSansSerifFace() {
  const Gdiplus::FontFamily* generic = Gdiplus::FontFamily::GenericSansSerif();
  if (generic == nullptr || !generic->IsAvailable()) return {};
  WCHAR name[LF_FACESIZE] = {};
  if (generic->GetFamilyName(name) != Gdiplus::Ok) return {};
  return name;
}

struct FoundFace {
  std::wstring name;
  bool fixedPitch = false;
};

int CALLBACK CollectFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM param) {
  // Faces starting with '@' are the vertical variants.
  if (font->lfFaceName[0] != L'@') {
    const bool fixed = (font->lfPitchAndFamily & 0x3) == FIXED_PITCH;
    reinterpret_cast<std::vector<FoundFace>*>(param)->push_back({font->lfFaceName, fixed});
  }
  return 1;
}

// The installed faces that declare Chinese, proportional ones first: captions
// are set in a proportional face.
std::vector<std::wstring> ChineseFaces() {
  std::vector<FoundFace> found;
  win::ScopedGetDc screen(nullptr);
  if (!screen) return {};
  LOGFONTW query = {};
  query.lfCharSet = GB2312_CHARSET;
  EnumFontFamiliesExW(screen.get(), &query, &CollectFace, reinterpret_cast<LPARAM>(&found), 0);
  std::stable_partition(found.begin(), found.end(),
                        [](const FoundFace& f) { return !f.fixedPitch; });
  std::vector<std::wstring> faces;
  for (const FoundFace& f : found) faces.push_back(f.name);
  return faces;
}

const std::vector<std::wstring>& FallbackFaces(const std::wstring& designed) {
  static std::map<std::wstring, std::vector<std::wstring>> known;
  auto it = known.find(designed);
  if (it == known.end()) {
    it = known
             .emplace(designed, FallbackCandidates(designed, SystemUiFace(), GenericSansSerifFace(),
                                                   ChineseFaces()))
             .first;
  }
  return it->second;
}

// Whether GDI's font of that face has a glyph for every character of `text`.
bool FaceCovers(const std::wstring& face, const std::wstring& text) {
  if (text.empty()) return true;
  LOGFONTW lf = {};
  lf.lfHeight = -16;
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
  win::ScopedGdiObject<HFONT> font(CreateFontIndirectW(&lf));
  win::ScopedCreatedDc dc(CreateCompatibleDC(nullptr));
  if (!font || !dc) return false;
  win::ScopedSelectObject select(dc.get(), font.get());
  if (!select.ok()) return false;
  std::vector<WORD> glyphs(text.size());
  if (GetGlyphIndicesW(dc.get(), text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                       GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR) {
    return false;
  }
  for (size_t i = 0; i < text.size(); ++i) {
    // Line breaks and spaces need no glyph of their own.
    if (text[i] == L'\n' || text[i] == L'\r' || text[i] == L' ') continue;
    if (glyphs[i] == 0xFFFF) return false;
  }
  return true;
}

}  // namespace

bool FaceExists(const std::wstring& face) {
  static std::map<std::wstring, bool> known;
  auto it = known.find(face);
  if (it != known.end()) return it->second;
  Gdiplus::FontFamily family(face.c_str());
  // Before GDI+ runs nothing can be told; that answer is not kept.
  if (family.GetLastStatus() == Gdiplus::GdiplusNotInitialized) return false;
  const bool exists = family.GetLastStatus() == Gdiplus::Ok && family.IsAvailable();
  known.emplace(face, exists);
  return exists;
}

std::wstring CaptionFace(const std::wstring& designed, const std::wstring& caption) {
  static std::map<std::pair<std::wstring, std::wstring>, std::wstring> chosen;
  const auto key = std::make_pair(designed, caption);
  auto it = chosen.find(key);
  if (it != chosen.end()) return it->second;
  // Before GDI+ runs the designed face is all there is to go by.
  if (Gdiplus::FontFamily(designed.c_str()).GetLastStatus() == Gdiplus::GdiplusNotInitialized) {
    return designed;
  }
  // The designed face, when the system has it, is taken as it is: that is how
  // every caption is meant to look.
  std::wstring face = designed;
  if (!FaceExists(designed)) {
    std::vector<FaceProbe> probes;
    for (const std::wstring& name : FallbackFaces(designed)) {
      const bool exists = FaceExists(name);
      probes.push_back({name, exists, exists && FaceCovers(name, caption)});
    }
    const int index = ChooseFace(probes);
    face = index >= 0 ? probes[static_cast<size_t>(index)].name : std::wstring();
  }
  chosen.emplace(key, face);
  return face;
}

}  // namespace pelmar
