#include "net/dns_client.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>

#include "loopback_server.h"
#include "net/process_id.h"
#include "net/socket_ops.h"

namespace pelmar {
namespace {

using testing::LoopbackUdpServer;

// Short enough that the silent cases do not slow the suite much, long
// enough for a loaded machine (or Wine) to answer.
constexpr int kWaitMs = 1500;

enum class Answer {
  kTwoA,
  kCnameOnly,
  kTwentyFive,
  kWrongIdThenRight,
  kWrongIdOnly,
  kOtherSenderThenRight,
  kTruncated,
  kSilent
};

std::string Record(uint16_t type, const std::string& rdata) {
  std::string r("\xC0\x0C", 2);
  r.push_back(static_cast<char>(type >> 8));
  r.push_back(static_cast<char>(type));
  r += std::string("\x00\x01\x00\x00\x00\x3C", 6);
  r.push_back(static_cast<char>(rdata.size() >> 8));
  r.push_back(static_cast<char>(rdata.size()));
  return r + rdata;
}

std::string ARecord(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  const char bytes[4] = {static_cast<char>(a), static_cast<char>(b), static_cast<char>(c),
                         static_cast<char>(d)};
  return Record(1, std::string(bytes, 4));
}

std::string Reply(const std::string& query, uint16_t count, const std::string& answers) {
  std::string r = query;
  r[2] = static_cast<char>(0x81);
  r[3] = static_cast<char>(0x80);
  r[6] = static_cast<char>(count >> 8);
  r[7] = static_cast<char>(count);
  return r + answers;
}

struct DnsServerScript {
  std::mutex mutex;
  std::vector<std::string> queries;
};

void Respond(Answer how, DnsServerScript* script, SocketHandle s, const std::string& q,
             uint32_t from, uint16_t port) {
  {
    std::lock_guard<std::mutex> lock(script->mutex);
    script->queries.push_back(q);
  }
  auto send = [&](const std::string& r) {
    (void)SockSendTo(s, r.data(), static_cast<int>(r.size()), from, port);
  };
  std::string wrong_id = Reply(q, 1, ARecord(6, 6, 6, 6));
  wrong_id[0] = static_cast<char>(~wrong_id[0]);
  switch (how) {
    case Answer::kTwoA:
      send(Reply(q, 2, ARecord(10, 0, 0, 1) + ARecord(10, 0, 0, 2)));
      break;
    case Answer::kCnameOnly:
      send(Reply(q, 1, Record(5, std::string("\x03www\xC0\x0C", 6))));
      break;
    case Answer::kTwentyFive: {
      std::string answers;
      for (uint8_t i = 0; i < 25; ++i) answers += ARecord(10, 1, 1, i);
      send(Reply(q, 25, answers));
      break;
    }
    case Answer::kWrongIdThenRight:
      send(wrong_id);
      send(Reply(q, 1, ARecord(10, 0, 0, 9)));
      break;
    case Answer::kWrongIdOnly:
      send(wrong_id);
      break;
    case Answer::kOtherSenderThenRight: {
      // Someone else on the machine guesses the ID right but sends from
      // another port: it must not count.
      CSocket other(SockOpenUdp());
      if (!SockBind(other.Get(), LoopbackAddress(), 0)) break;
      const std::string forged = Reply(q, 1, ARecord(6, 6, 6, 6));
      (void)SockSendTo(other.Get(), forged.data(), static_cast<int>(forged.size()), from, port);
      send(Reply(q, 1, ARecord(10, 0, 0, 7)));
      break;
    }
    case Answer::kTruncated:
      send(Reply(q, 1, ARecord(10, 0, 0, 1)).substr(0, q.size() + 8));
      break;
    case Answer::kSilent:
      break;
  }
}

struct ClientCase {
  const char* note;
  Answer answer;
  int status;
  std::vector<std::string> addresses;
};

class DnsClientTest : public ::testing::TestWithParam<ClientCase> {
 protected:
  void SetUp() override { ASSERT_TRUE(StartSockets()); }
};

TEST_P(DnsClientTest, AsksLoopbackServer) {
  const ClientCase& c = GetParam();
  DnsServerScript script;
  LoopbackUdpServer server([&](SocketHandle s, const std::string& q, uint32_t from, uint16_t port) {
    Respond(c.answer, &script, s, q, from, port);
  });
  DnsAddresses out;
  EXPECT_EQ(QueryDnsServerOn("127.0.0.1", "cdn.example", server.Port(), kWaitMs, &out), c.status);
  std::vector<std::string> got;
  for (int i = 0; i < out.count; ++i) got.push_back(FormatIpv4(out.addresses[i]));
  EXPECT_EQ(got, c.addresses);

  // The one query sent: ID from the process id in the machine's order.
  std::lock_guard<std::mutex> lock(script.mutex);
  ASSERT_EQ(script.queries.size(), 1u);
  const uint16_t pid = static_cast<uint16_t>(CurrentProcessId());
  uint8_t id[2];
  std::memcpy(id, &pid, 2);
  EXPECT_EQ(script.queries[0], BuildDnsQuery(id, "cdn.example"));
}

std::vector<std::string> TwentyAddresses() {
  std::vector<std::string> v;
  for (int i = 0; i < 20; ++i) v.push_back("10.1.1." + std::to_string(i));
  return v;
}

const ClientCase kClientCases[] = {
    {"two A records", Answer::kTwoA, 0, {"10.0.0.1", "10.0.0.2"}},
    {"CNAME only", Answer::kCnameOnly, -1, {}},
    {"more than twenty answers", Answer::kTwentyFive, 0, TwentyAddresses()},
    {"wrong ID is ignored, the right reply counts", Answer::kWrongIdThenRight, 0, {"10.0.0.9"}},
    {"only a wrong ID: no answer", Answer::kWrongIdOnly, -1, {}},
    {"reply from another port is ignored", Answer::kOtherSenderThenRight, 0, {"10.0.0.7"}},
    {"truncated reply", Answer::kTruncated, -1, {}},
    {"silent server", Answer::kSilent, -1, {}},
};
INSTANTIATE_TEST_SUITE_P(Table, DnsClientTest, ::testing::ValuesIn(kClientCases));

TEST(DnsServerListTest, ValidAddressOrSystemOrPublic) {
  EXPECT_EQ(DnsServerList("10.0.0.53"), std::vector<std::string>{"10.0.0.53"});
  std::vector<std::string> fallback = SystemDnsServers();
  if (fallback.empty())
    fallback.assign(std::begin(kPublicResolverList), std::end(kPublicResolverList));
  // Not dotted addresses: three parts, a value over 255, an empty part, a letter.
  for (const char* bad : {"1.2.3", "1.2.3.256", "1..2.3", "1.2.3.a", "", "1.2.3.4.5", " 1.2.3.4"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(DnsServerList(bad), fallback);
  }
  EXPECT_EQ(std::string(kPublicResolverList[0]), kFallbackResolver);
}

TEST(DottedAddressTest, StrictParseAndFormat) {
  uint32_t a = 0;
  ASSERT_TRUE(ParseDottedIpv4("192.168.001.255", &a));
  EXPECT_EQ(FormatIpv4(a), "192.168.1.255");
  EXPECT_TRUE(ParseDottedIpv4("0.0.0.0", &a));
  for (const char* bad : {"256.1.1.1", "1.2.3.", ".1.2.3", "1.2.3.4 ", "1,2,3,4", "01234.1.1.1"}) {
    EXPECT_FALSE(ParseDottedIpv4(bad, &a)) << bad;
  }
}

}  // namespace
}  // namespace pelmar
