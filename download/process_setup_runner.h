#pragma once

#include <memory>
#include <string>

#include "download/setup_runner.h"

namespace pelmar {

// The product's setup runner: a CPelmarBasedProcess per launch (on Windows a
// hidden process made from the command line; natively the shell runs it).
class CProcessSetupRunner : public ISetupRunner {
 public:
  std::unique_ptr<ISetupProcess> Launch(const std::wstring& commandLine) override;
};

}  // namespace pelmar
