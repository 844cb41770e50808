#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelmar {

// The pages' rules that need no window: texts, paths, and how clicks and
// hovers change the widgets' states. The Windows views copy their widgets'
// states into WidgetState records, apply a rule and copy the result back.

// "1024.0 B", "1.5 KB", ... "3.0 TB": one decimal, the unit chosen so that
// the value is at most 1024 (a value of exactly 2^10 stays in the unit below).
std::wstring SizeText(int64_t bytes);

// The product's folder below any directory the user picks.
inline constexpr wchar_t kProductSubPath[] = L"Pelmar\\Morvantile";

// `path` when it holds the product sub-path anywhere, else `path` joined to
// it with exactly one backslash.
std::wstring WithProductSubPath(const std::wstring& path);

// Characters the product's setup needs below the install path for the
// longest file it writes there: its staging copy of the program,
// "Morvantile.exe.new", is 18; the rest leaves room for the uninstaller's
// names.
inline constexpr size_t kLongestInstalledFileChars = 32;
// Longest install path: the setup program creates its files below it, and
// each must stay within the Windows path limit (MAX_PATH, 260 characters
// with the terminating NUL) with a separator and the longest file after it.
inline constexpr size_t kMaxInstallPathChars = 259 - 1 - kLongestInstalledFileChars;

// A path the setup program can use, in the form it is shown and used: the
// canonical form of CanonicalInstallPath (no "." or "..", no device names, no
// names Windows would change, no trailing separator), within
// kMaxInstallPathChars. False, with `canonical` untouched, otherwise.
[[nodiscard]] bool UsableInstallPath(std::wstring_view path, std::wstring* canonical);

// The product web site ("http://host[:port]", from the build configuration).
std::string ProductWebSite();
// The user agreement on it, with the machine identifier.
std::string UserAgreementAddress(const std::string& mid);

// Whether a drive with `freeBytes` available takes a product needing
// `requiredBytes`: required < free, strictly (a negative size counts as 0).
bool HasRoom(int64_t requiredBytes, uint64_t freeBytes);

// What moved the mouse to a rule.
enum class MouseEvent { kMove, kPress, kClick };

// A widget as the rules see it. `type` is the resource type (2 button,
// 3 check box, ...); `state` 0 normal, 1 hover, 2 pressed, 3 disabled.
struct WidgetState {
  int id = -1;
  int type = -1;
  int state = 0;
  bool checked = false;
  bool visible = true;
};

// Not hit: normal; hit by a move: hover; by a press: pressed; by a click: normal.
int StandardButtonState(bool hit, MouseEvent event);

// The main page's flags.
struct BeginPageFlags {
  bool agreed = true;   // the agreement box is ticked
  bool spaceOk = true;  // the install path's drive has room
};

// The main page's state rule over its whole list; `hit` is the list index
// the event concerns. True when anything changed.
bool ApplyBeginStateRule(std::vector<WidgetState>* widgets, int hit, MouseEvent event,
                         BeginPageFlags* flags);

// The main page learning the disk-space result: the install button follows it
// (enabled only while the agreement is ticked as well). True when changed.
bool ApplyBeginSpaceOk(std::vector<WidgetState>* widgets, bool spaceOk, BeginPageFlags* flags);

// The custom page's state rule; the install button and the disk-full warning
// follow `spaceOk` afterwards. True when anything changed.
bool ApplyCustomStateRule(std::vector<WidgetState>* widgets, int hit, MouseEvent event,
                          bool spaceOk);

// Every button follows StandardButtonState; disabled ones only when
// `includeDisabled` (dialogs). True when anything changed.
bool ApplyButtonStateRule(std::vector<WidgetState>* widgets, int hit, MouseEvent event,
                          bool includeDisabled);

}  // namespace pelmar
