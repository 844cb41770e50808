#pragma once

#include <cstdint>
#include <string>

namespace pelmar {

// The arithmetic and the command line of the install run (download, then the
// silent setup run), apart from any window so they are checked everywhere.

// The download fills the bar up to this percentage; the setup run the rest.
inline constexpr int kDownloadShareEnd = 80;
// The setup run adds one percent per second up to this many seconds, so the
// bar never shows 100 % before the finished page.
inline constexpr int kSetupSecondsShown = 19;

// A setup program still running after this long is taken as failed: the
// page would otherwise stay at 99 % for ever. Ours takes seconds; an hour
// leaves the slowest disk, and a scanner looking at every file it writes,
// room many times over.
inline constexpr uint32_t kSetupRunLimitMs = 60u * 60 * 1000;

// Whether a setup run that began `elapsedMilliseconds` ago (a difference of
// the multimedia clock, so it stays right across its wrap) has had its time.
[[nodiscard]] bool SetupRanTooLong(uint32_t elapsedMilliseconds,
                                   uint32_t limitMilliseconds = kSetupRunLimitMs);

// The bar during the download: the controller's percentage (clamped to
// 0..100) scaled to 0..80.
int DownloadBarPercent(int32_t controllerPercent);
// The bar during the setup run: 80 plus the whole seconds elapsed, at most 99.
int SetupBarPercent(uint32_t elapsedMilliseconds);

// The command line of the silent setup run: the quoted setup program, the
// silent switches, "-noexperience " when the user left the experience plan,
// "-nowelcome " and the quoted install directory. Under the usual argument
// rules a backslash before the closing quote would escape it: a trailing
// separator is dropped, and a drive root's ("D:\\") is doubled instead.
std::wstring BuildSetupCommandLine(const std::wstring& setupProgram,
                                   const std::wstring& installPath, bool joinedPlan);

}  // namespace pelmar
