#include "net/network_check_report.h"

#include <gtest/gtest.h>

#include <thread>

#include "net/net_test_support.h"

namespace pelmar {
namespace {

class NetworkCheckReportTest : public testing::NetTest {};

TEST_F(NetworkCheckReportTest, EachKindReportedOnceLaterStoresSilent) {
  StoreProxyChoice(0, "", 0);  // a direct choice is reported as well
  StoreProxyChoice(1, "proxy.example", 3128);
  StoreResolverChoice(1, "114.114.114.114");
  StoreResolverChoice(1, "127.0.0.1");
  const auto events = logger_.EventsNamed("vNetworkCheck");
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].strings.at("network_type"), "网络代理");
  EXPECT_EQ(events[0].ints.at("conn_type"), 0);
  EXPECT_EQ(events[0].strings.at("host_name"), "");
  EXPECT_EQ(events[1].strings.at("network_type"), "DNS解析");
  EXPECT_EQ(events[1].ints.at("conn_type"), 1);
  EXPECT_EQ(events[1].strings.at("host_name"), "114.114.114.114");
  const NetworkSettings s = Settings();
  EXPECT_EQ(s.proxyType, 1);
  EXPECT_EQ(s.proxyHost, "proxy.example");
  EXPECT_EQ(s.proxyPort, 3128);
  EXPECT_EQ(s.dnsMode, 1);
  EXPECT_EQ(s.dnsServer, "127.0.0.1");
}

TEST_F(NetworkCheckReportTest, ConcurrentStoresGiveOneEvent) {
  constexpr int kThreads = 8;
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([i] {
      StoreResolverChoice(1, "10.0.0." + std::to_string(i));
      StoreProxyChoice(1, "p" + std::to_string(i), 1000 + i);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(logger_.EventsNamed("vNetworkCheck").size(), 2u);
  const NetworkSettings s = Settings();
  EXPECT_EQ(s.dnsServer.rfind("10.0.0.", 0), 0u);
  EXPECT_EQ(s.proxyHost.substr(1), std::to_string(s.proxyPort - 1000));
}

TEST_F(NetworkCheckReportTest, NewContextReportsAgain) {
  StoreResolverChoice(1, "a");
  DeleteAppContext();
  StoreResolverChoice(1, "ignored without a context");
  ASSERT_NE(CreateAppContext(), nullptr);
  StoreResolverChoice(1, "b");
  EXPECT_EQ(logger_.EventsNamed("vNetworkCheck").size(), 2u);
}

}  // namespace
}  // namespace pelmar
