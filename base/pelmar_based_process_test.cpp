#include "base/pelmar_based_process.h"

#include <gtest/gtest.h>

#include <string>

namespace pelmar {
namespace {

// The command interpreter differs by platform; the behaviour under test does not.
#ifdef _WIN32
std::wstring ExitWith(int code) { return L"cmd.exe /c exit " + std::to_wstring(code); }
std::wstring Sleeper() { return L"cmd.exe /c ping -n 3 127.0.0.1 >nul"; }
#else
std::wstring ExitWith(int code) { return L"exit " + std::to_wstring(code); }
std::wstring Sleeper() { return L"sleep 2"; }
#endif

TEST(PelmarBasedProcess, ReportsTheExitCode) {
  for (int code : {0, 3, 42}) {
    SCOPED_TRACE(code);
    CPelmarBasedProcess p(ExitWith(code));
    ASSERT_TRUE(p.Start());
    EXPECT_TRUE(p.Start());  // a second start is a no-op success
    ASSERT_TRUE(p.Wait(CPelmarBasedProcess::kInfinite));
    uint32_t exit_code = 99;
    ASSERT_TRUE(p.GetExitCode(&exit_code));
    EXPECT_EQ(exit_code, static_cast<uint32_t>(code));
  }
}

TEST(PelmarBasedProcess, WaitWithATimeLimitReturnsWhileRunning) {
  CPelmarBasedProcess p(Sleeper());
  ASSERT_TRUE(p.Start());
  EXPECT_FALSE(p.Wait(0));
  uint32_t code;
  EXPECT_FALSE(p.GetExitCode(&code));
  // The destructor waits for the end.
}

TEST(PelmarBasedProcess, NotStartedReportsNothing) {
  CPelmarBasedProcess p(ExitWith(0));
  uint32_t code;
  EXPECT_FALSE(p.IsStarted());
  EXPECT_FALSE(p.Wait(0));
  EXPECT_FALSE(p.GetExitCode(&code));
}

#ifdef _WIN32
TEST(PelmarBasedProcess, MissingProgramFailsToStart) {
  CPelmarBasedProcess p(L"C:\\no such folder\\missing.exe");
  EXPECT_FALSE(p.Start());
}
#endif

}  // namespace
}  // namespace pelmar
