#include "services/browser_rules.h"

#include <algorithm>
#include <cwctype>

#include "base/text_convert.h"
#include "net/parse_url.h"

namespace pelmar {
namespace {

constexpr std::array<DownloadFolderMarker, 3> kDownloadFolderMarkers{{
    {L"360\u6781\u901F\u6D4F\u89C8\u5668\u4E0B\u8F7D", L"360Chrome", L"360chrome.exe"},
    {L"360\u5B89\u5168\u6D4F\u89C8\u5668\u4E0B\u8F7D", L"360se6", L"360se.exe"},
    {L"\u641C\u72D7\u9AD8\u901F\u4E0B\u8F7D", L"SogouExplorer", L"SogouExplorer.exe"},
}};

bool Contains(std::wstring_view text, std::wstring_view part) {
  return text.find(part) != std::wstring_view::npos;
}

constexpr std::wstring_view kExe = L".exe";

}  // namespace

// Tested in this order, so "360chrome.exe" is found before "chrome.exe".
const std::array<KnownBrowser, kKnownBrowserCount> kKnownBrowsers{{
    {L"360chrome.exe", 1},
    {L"360se.exe", 2},
    {L"SogouExplorer.exe", 8},
    {L"firefox.exe", 9},
    {L"chrome.exe", 3},
    {L"ChromeCore.exe", 4},
    {L"iexplore.exe", 6},
    {L"liebao.exe", 10},
    {L"QQBrowser.exe", 7},
    {L"UCBrowser.exe", 11},
    {L"MicrosoftEdge.exe", 5},
}};

const std::array<const wchar_t*, kCensusSize> kBrowserCensusNames{
    L"360chrome.exe",      L"360se.exe",        L"chrome.exe",    L"MicrosoftEdge.exe",
    L"browser_broker.exe", L"LaunchWinApp.exe", L"QQBrowser.exe", L"SogouExplorer.exe",
    L"firefox.exe",        L"liebao.exe",       L"iexplore.exe",  L"ChromeCore.exe",
    L"UCBrowser.exe",
};

int BrowserPriority(std::wstring_view name) {
  for (const auto& browser : kKnownBrowsers) {
    if (Contains(name, browser.executable)) return browser.priority;
  }
  return kUnknownBrowserPriority;
}

bool IsKnownBrowser(std::wstring_view name) {
  return BrowserPriority(name) != kUnknownBrowserPriority;
}

bool IsKnownBrowserName(std::wstring_view name) {
  for (const auto& browser : kKnownBrowsers) {
    if (name == browser.executable) return true;
  }
  return false;
}

namespace {

wchar_t FoldAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; }

// `path` lies below `folder` (which may or may not end with a backslash),
// comparing whole components without regard to ASCII case.
bool IsBelow(std::wstring_view path, std::wstring_view folder) {
  while (!folder.empty() && folder.back() == L'\\') folder.remove_suffix(1);
  if (folder.empty() || path.size() <= folder.size() + 1) return false;
  if (path[folder.size()] != L'\\') return false;
  for (size_t i = 0; i < folder.size(); ++i) {
    if (FoldAscii(path[i]) != FoldAscii(folder[i])) return false;
  }
  return true;
}

bool HasRelativeComponent(std::wstring_view path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring_view::npos) end = path.size();
    const std::wstring_view piece = path.substr(start, end - start);
    if (piece == L"." || piece == L"..") return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

bool IsTrustedBrowserImage(std::wstring_view image_path,
                           const std::vector<std::wstring>& trusted_folders) {
  const size_t slash = image_path.rfind(L'\\');
  if (slash == std::wstring_view::npos) return false;
  if (!IsKnownBrowserName(image_path.substr(slash + 1))) return false;
  if (image_path.find(L'/') != std::wstring_view::npos || HasRelativeComponent(image_path)) {
    return false;
  }
  for (const std::wstring& folder : trusted_folders) {
    if (IsBelow(image_path, folder)) return true;
  }
  return false;
}

void BrowserCensus::Add(std::wstring_view process_name) {
  for (size_t i = 0; i < kBrowserCensusNames.size(); ++i) {
    if (counted_[i] || !Contains(process_name, kBrowserCensusNames[i])) continue;
    counted_[i] = true;
    names_ += kBrowserCensusNames[i];
    names_ += L' ';
    ++count_;
    return;
  }
}

const DownloadFolderMarker* FindDownloadFolderMarker(std::wstring_view image_path) {
  for (const auto& marker : kDownloadFolderMarkers) {
    if (Contains(image_path, marker.marker)) return &marker;
  }
  return nullptr;
}

std::wstring LaunchablePath(const std::wstring& path,
                            const std::function<bool(const std::wstring&)>& is_regular_file) {
  const size_t name_start = path.find_last_of(L"/\\");
  const size_t dot = path.rfind(L'.');
  const bool has_extension =
      dot != std::wstring::npos && (name_start == std::wstring::npos || dot > name_start);
  if (has_extension && std::wstring_view(path).substr(dot) == kExe) return path;
  const size_t exe = path.find(kExe);
  const std::wstring candidate =
      exe == std::wstring::npos ? path : path.substr(0, exe + kExe.size());
  return !candidate.empty() && is_regular_file(candidate) ? candidate : std::wstring();
}

std::wstring DefaultBrowserPathFromCommand(std::wstring_view command) {
  std::wstring path;
  bool quoted = false;
  size_t i = 0;
  // Pieces are separated by runs of spaces; the first one decides.
  while (i < command.size() && command[i] == L' ') ++i;
  if (i < command.size() && command[i] == L'"') quoted = true;
  while (i < command.size()) {
    const size_t end = std::min(command.find(L' ', i), command.size());
    const std::wstring_view piece = command.substr(i, end - i);
    if (!path.empty()) path += L' ';
    path += piece;
    if (!quoted || piece.back() == L'"') break;
    i = end;
    while (i < command.size() && command[i] == L' ') ++i;
  }
  if (quoted) {
    std::wstring unquoted;
    for (wchar_t c : path) {
      if (c != L'"') unquoted.push_back(c);
    }
    path = unquoted;
  }
  return path;
}

bool IsOpenableWebAddress(std::wstring_view url) {
  for (wchar_t c : url) {
    // A quote would end the browser's argument early.
    if (c == L'"') return false;
  }
  return IsPlainHttpAddress(Utf8FromWide(std::wstring(url)));
}

}  // namespace pelmar
