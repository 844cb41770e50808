#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmar {

// The fixed knowledge the URL opener decides with: which executable names are
// browsers and how much each is preferred, the census of running browsers,
// and the download folders that name the browser that saved the installer.
// Name tests are case-sensitive substring tests, as browsers spell their own
// executables.

inline constexpr int kUnknownBrowserPriority = 99;

// The known browsers' executable names with their priorities, in the order
// names are tested.
struct KnownBrowser {
  const wchar_t* executable;
  int priority;
};
inline constexpr size_t kKnownBrowserCount = 11;
extern const std::array<KnownBrowser, kKnownBrowserCount> kKnownBrowsers;

// The priority of the first known executable name (in table order) that
// `name` contains; a lower number is preferred. kUnknownBrowserPriority when
// none is contained.
int BrowserPriority(std::wstring_view name);
bool IsKnownBrowser(std::wstring_view name);

// True when `name` is exactly one of the known executable names: a running
// process is taken for a browser by its name, and "notchrome.exe" is not one.
bool IsKnownBrowserName(std::wstring_view name);

// Whether a running process may count as a browser: its executable name is
// a known one exactly (IsKnownBrowserName) and its image lies below one of
// `trusted_folders` (the program-files folders, the user's local application
// data, the default browser's folder), where no other account can put a
// program of that name. Folders match whole components, in any case; an
// image path holding "." or ".." components or "/" is refused.
bool IsTrustedBrowserImage(std::wstring_view image_path,
                           const std::vector<std::wstring>& trusted_folders);

// The census names in their reporting order.
inline constexpr size_t kCensusSize = 13;
extern const std::array<const wchar_t*, kCensusSize> kBrowserCensusNames;

// Counts running browsers once per census name and lists the names counted,
// each followed by one space.
class BrowserCensus {
 public:
  // Counts the first census name that `process_name` contains and that was
  // not counted yet.
  void Add(std::wstring_view process_name);
  int count() const { return count_; }
  const std::wstring& names() const { return names_; }

 private:
  std::array<bool, kCensusSize> counted_{};
  int count_ = 0;
  std::wstring names_;
};

struct DownloadFolderMarker {
  const wchar_t* marker;          // text in the installer's own path
  const wchar_t* uninstallEntry;  // the browser's uninstall entry name
  const wchar_t* executable;      // the browser's executable in its location
};
// The first marker (in table order) that `image_path` contains, or null.
const DownloadFolderMarker* FindDownloadFolderMarker(std::wstring_view image_path);

// The launcher path in the form it can be started: itself when its extension
// is exactly ".exe"; else the text up to and including its first ".exe"
// (a browser's command line with flags after the program), or the whole
// text without ".exe", when `is_regular_file` accepts it. Empty otherwise.
std::wstring LaunchablePath(const std::wstring& path,
                            const std::function<bool(const std::wstring&)>& is_regular_file);

// The program of a default-browser command ("\"C:\\a b\\x.exe\" -- \"%1\"" gives
// "C:\\a b\\x.exe"); empty for an empty command.
std::wstring DefaultBrowserPathFromCommand(std::wstring_view command);

// Whether the opener may hand `url` to a browser or the shell: a plain http
// address (IsPlainHttpAddress: the one check every address passes) without
// quotes. Anything else
// (a file address, a path, text starting with "-", a second argument hidden
// behind a blank) could start a program or a browser flag instead of a page.
bool IsOpenableWebAddress(std::wstring_view url);

}  // namespace pelmar
