#include "pages/progress_rules.h"

namespace pelmar {

std::wstring StatusText(int percent) {
  return L"正在安装，请不要关闭：" + std::to_wstring(percent) + L"%";
}

}  // namespace pelmar
