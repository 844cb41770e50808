#pragma once

// Helpers shared by the network tests: an AppContext per test and a
// recorder of the events the network layer reported.

#include <gtest/gtest.h>

#include <mutex>

#include "base/app_context.h"
#include "base/testing/recording_event_sink.h"
#include "net/tcp_client.h"

namespace pelmar::testing {

// A fresh AppContext and event recorder for each test; resolver hooks reset.
class NetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartSockets());
    DeleteAppContext();
    ASSERT_NE(CreateAppContext(), nullptr);
    SetProcessEventSink(&logger_);
    ResetResolverTestHooks();
  }
  void TearDown() override {
    ResetResolverTestHooks();
    SetProcessEventSink(nullptr);
    DeleteAppContext();
  }
  NetworkSettings Settings() {
    std::lock_guard<CXMutex> lock(GetAppContext()->mutex);
    return GetAppContext()->network;
  }
  void SetSettings(const NetworkSettings& s) {
    std::lock_guard<CXMutex> lock(GetAppContext()->mutex);
    GetAppContext()->network = s;
  }

  RecordingEventSink logger_;  // the process sink during each test
};

}  // namespace pelmar::testing
