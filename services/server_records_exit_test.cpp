#include <gtest/gtest.h>

#include <string>

#include "base/pelmar_based_process.h"
#include "base/text_convert.h"
#include "server_records_test_server.h"

namespace pelmar {
namespace {

// A process whose readers are blocked in a receive from a silent server must
// still end, with main's exit code, whether the quit sequence stops the
// readers first or only the records' static clean-up does.
class ServerRecordsAtExit : public ::testing::TestWithParam<std::string> {};

TEST_P(ServerRecordsAtExit, ProcessEndsWhileReadersAreBlockedOnASilentServer) {
  CPelmarBasedProcess probe(WideFromUtf8(std::string(PELMAR_EXIT_PROBE) + " " + GetParam()));
  ASSERT_TRUE(probe.Start());
  const bool ended = probe.Wait(testing::kRecordsWaitMilliseconds);
  EXPECT_TRUE(ended);
  if (!ended) {
    probe.SetWaitOnDestroy(false);  // leave it rather than hang the suite
    return;
  }
  uint32_t code = 1;
  ASSERT_TRUE(probe.GetExitCode(&code));
  EXPECT_EQ(code, 0u);
}

INSTANTIATE_TEST_SUITE_P(Ways, ServerRecordsAtExit, ::testing::Values("stop", "static-only"));

}  // namespace
}  // namespace pelmar
