#pragma once

#include <string>

#include "download/install_run_rules.h"

namespace pelmar {

// The texts of the progress page, apart from its window so they can be
// checked on every platform; its arithmetic is the install run's.

// "正在安装，请不要关闭：" followed by the percentage and "%".
std::wstring StatusText(int percent);

}  // namespace pelmar
