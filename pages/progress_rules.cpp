#include "pages/progress_rules.h"

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

std::wstring StatusText(int percent) {
  return L"正在安装，请不要关闭：" + std::to_wstring(percent) + L"%";
}

std::wstring BuildSetupCommandLine(const std::wstring& setupProgram,
                                   const std::wstring& installPath, bool joinedPlan) {
  std::wstring line = L"\"" + setupProgram + L"\" /SILENT /VERYSILENT /SP- /noicons ";
  if (!joinedPlan) line += L"-noexperience ";
  line += L"-nowelcome ";
  line += L"/DIR=\"" + installPath + L"\"";
  return line;
}

}  // namespace pelmar
