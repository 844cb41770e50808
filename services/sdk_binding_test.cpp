#include "services/sdk_binding.h"

#include <gtest/gtest.h>

#include <string>

#include "services/logger_server.h"

namespace pelmar {
namespace {

// This test program carries no SDK resource: the binding stops at its first
// step and the logger stays Inert without showing anything.
TEST(SdkBindingTest, MissingResourceLeavesLoggerInert) {
  VekTables tables;
  std::string text;
  try {
    CSdkBinding::Bind(tables, &CLoggerServer::OnCrash, nullptr);
  } catch (const std::exception& e) {
    text = e.what();
  }
  EXPECT_EQ(text, "VEK not found resource");
  EXPECT_FALSE(tables.core);
  EXPECT_FALSE(tables.collector);
  EXPECT_FALSE(tables.utility);
  EXPECT_FALSE(tables.runAsUser);

  CLoggerServer logger;
  EXPECT_FALSE(logger.SendEvent("vSoftQuit"));
  EXPECT_FALSE(logger.SendPageAction("0001", "0001", ""));
  EXPECT_EQ(logger.GetMid(), "");
  EXPECT_EQ(logger.DecryptData("x.y"), "");
}

}  // namespace
}  // namespace pelmar
