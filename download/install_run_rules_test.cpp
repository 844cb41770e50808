#include "download/install_run_rules.h"

#include <gtest/gtest.h>

namespace pelmar {
namespace {

struct DownloadCase {
  int32_t controllerPercent;
  int bar;
};

TEST(InstallRunRules, DownloadFillsTheBarUpToEighty) {
  const DownloadCase cases[] = {
      {0, 0},     // nothing yet
      {50, 40},   // half the file
      {99, 79},   // integer division
      {100, 80},  // the whole file still leaves room for the setup run
      {-7, 0},    // a controller that answers nonsense never moves the bar back
      {250, 80},  // ... nor past the download's share
  };
  for (const DownloadCase& c : cases) {
    SCOPED_TRACE(c.controllerPercent);
    EXPECT_EQ(DownloadBarPercent(c.controllerPercent), c.bar);
  }
}

struct SetupCase {
  uint32_t elapsedMs;
  int bar;
};

TEST(InstallRunRules, SetupAddsOnePercentPerSecondAndStopsShortOfHundred) {
  const SetupCase cases[] = {
      {0, 80},            // just started
      {999, 80},          // whole seconds only
      {1000, 81},         // one second
      {19000, 99},        // nineteen seconds
      {25000, 99},        // a long run stays at 99
      {0xFFFFFFFFu, 99},  // the clock's wrap-around distance
  };
  for (const SetupCase& c : cases) {
    SCOPED_TRACE(c.elapsedMs);
    EXPECT_EQ(SetupBarPercent(c.elapsedMs), c.bar);
  }
}

TEST(InstallRunRules, SetupRunLimit) {
  const struct {
    uint32_t elapsedMs;
    uint32_t limitMs;
    bool tooLong;
  } kCases[] = {
      {0, kSetupRunLimitMs, false},
      {kSetupRunLimitMs - 1, kSetupRunLimitMs, false},
      {kSetupRunLimitMs, kSetupRunLimitMs, true},
      {UINT32_MAX, kSetupRunLimitMs, true},
      {500, 500, true},
      {499, 500, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.elapsedMs);
    EXPECT_EQ(SetupRanTooLong(c.elapsedMs, c.limitMs), c.tooLong);
  }
  // Across the multimedia clock's wrap the difference is still the time run.
  const uint32_t started = UINT32_MAX - 100;
  const uint32_t now = 400;
  EXPECT_FALSE(SetupRanTooLong(now - started, 1000));
  EXPECT_TRUE(SetupRanTooLong(now - started, 501));
  // Generous: far longer than the bar's own twenty seconds.
  EXPECT_GT(kSetupRunLimitMs, 1000u * kSetupSecondsShown * 60);
}

struct CommandCase {
  const char* name;
  std::wstring program;
  std::wstring installPath;
  bool joinedPlan;
  std::wstring expected;
};

TEST(InstallRunRules, SetupCommandLineInTheFixedOrder) {
  const CommandCase cases[] = {
      {"in the plan", LR"(C:\data\MORVANTILE\install.exe)", LR"(C:\Program Files\Morvantile)", true,
       LR"("C:\data\MORVANTILE\install.exe" /SILENT /VERYSILENT /SP- /noicons -nowelcome /DIR="C:\Program Files\Morvantile")"},
      {"out of the plan", LR"(C:\d\install.exe)", LR"(D:\M)", false,
       LR"("C:\d\install.exe" /SILENT /VERYSILENT /SP- /noicons -noexperience -nowelcome /DIR="D:\M")"},
      {"spaces in both paths", LR"(C:\Documents and Settings\u\install.exe)",
       LR"(E:\My Apps\Morvantile)", true,
       LR"("C:\Documents and Settings\u\install.exe" /SILENT /VERYSILENT /SP- /noicons -nowelcome /DIR="E:\My Apps\Morvantile")"},
      {"Chinese characters", LR"(C:\用户\下载\install.exe)", LR"(D:\软件\Morvantile)", false,
       LR"("C:\用户\下载\install.exe" /SILENT /VERYSILENT /SP- /noicons -noexperience -nowelcome /DIR="D:\软件\Morvantile")"},
      // A backslash before the closing quote would escape it and swallow the
      // rest of the line into the directory.
      {"trailing separator dropped", LR"(C:\d\install.exe)", LR"(D:\Games\)", true,
       LR"("C:\d\install.exe" /SILENT /VERYSILENT /SP- /noicons -nowelcome /DIR="D:\Games")"},
      {"several trailing separators", LR"(C:\d\install.exe)", LR"(D:\Games\\\)", true,
       LR"("C:\d\install.exe" /SILENT /VERYSILENT /SP- /noicons -nowelcome /DIR="D:\Games")"},
      {"drive root doubled", LR"(C:\d\install.exe)", LR"(D:\)", true,
       LR"("C:\d\install.exe" /SILENT /VERYSILENT /SP- /noicons -nowelcome /DIR="D:\\")"},
  };
  for (const CommandCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BuildSetupCommandLine(c.program, c.installPath, c.joinedPlan), c.expected);
  }
}

}  // namespace
}  // namespace pelmar
