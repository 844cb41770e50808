#include "download/install_run_rules.h"

#include <algorithm>

namespace pelmar {

int DownloadBarPercent(int32_t controllerPercent) {
  const int p = std::clamp<int32_t>(controllerPercent, 0, 100);
  return p * 4 / 5;
}

int SetupBarPercent(uint32_t elapsedMilliseconds) {
  const uint32_t seconds = std::min<uint32_t>(elapsedMilliseconds / 1000, kSetupSecondsShown);
  return kDownloadShareEnd + static_cast<int>(seconds);
}

bool SetupRanTooLong(uint32_t elapsedMilliseconds, uint32_t limitMilliseconds) {
  return elapsedMilliseconds >= limitMilliseconds;
}

namespace {

std::wstring QuotableDirectory(std::wstring path) {
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  // "D:" alone names the current directory of drive D, not its root.
  if (path.size() == 2 && path[1] == L':') path += L"\\\\";
  return path;
}

}  // namespace

std::wstring BuildSetupCommandLine(const std::wstring& setupProgram,
                                   const std::wstring& installPath, bool joinedPlan) {
  std::wstring line = L"\"" + setupProgram + L"\" /SILENT /VERYSILENT /SP- /noicons ";
  if (!joinedPlan) line += L"-noexperience ";
  line += L"-nowelcome ";
  line += L"/DIR=\"" + QuotableDirectory(installPath) + L"\"";
  return line;
}

}  // namespace pelmar
