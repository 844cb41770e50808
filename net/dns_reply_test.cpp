#include "net/dns_reply.h"

#include <gtest/gtest.h>

#include <cstring>

#include "net/socket_ops.h"

namespace pelmar {
namespace {

const uint8_t kId[2] = {0x12, 0x34};

// Builds replies the way a server does: header, the question echoed, answers.
class ReplyBuilder {
 public:
  explicit ReplyBuilder(const std::string& query, uint16_t answers) : bytes_(query) {
    bytes_[2] = static_cast<char>(0x81);
    bytes_[3] = static_cast<char>(0x80);
    bytes_[6] = static_cast<char>(answers >> 8);
    bytes_[7] = static_cast<char>(answers);
  }
  ReplyBuilder& A(const char* dotted, uint16_t rdlength = 4) {
    Record(1, rdlength);
    uint32_t a = 0;
    EXPECT_TRUE(ParseDottedIpv4(dotted, &a));
    bytes_.append(reinterpret_cast<const char*>(&a), 4);
    bytes_.append(rdlength > 4 ? rdlength - 4 : 0, '\0');
    return *this;
  }
  ReplyBuilder& Cname(const std::string& encoded_name) {
    Record(5, static_cast<uint16_t>(encoded_name.size()));
    bytes_ += encoded_name;
    return *this;
  }
  ReplyBuilder& Raw(const std::string& raw) {
    bytes_ += raw;
    return *this;
  }
  const std::string& Bytes() const { return bytes_; }

 private:
  void Record(uint16_t type, uint16_t rdlength) {
    bytes_ += std::string("\xC0\x0C", 2);  // owner: pointer to the question name
    bytes_.push_back(static_cast<char>(type >> 8));
    bytes_.push_back(static_cast<char>(type));
    bytes_ += std::string("\x00\x01\x00\x00\x0E\x10", 6);
    bytes_.push_back(static_cast<char>(rdlength >> 8));
    bytes_.push_back(static_cast<char>(rdlength));
  }
  std::string bytes_;
};

int Parse(const std::string& query, const std::string& reply, DnsAddresses* out) {
  return ParseDnsReply(reinterpret_cast<const uint8_t*>(reply.data()), reply.size(),
                       query.size() - kDnsHeaderBytes, out);
}

TEST(DnsQueryTest, ExactBytes) {
  const std::string q = BuildDnsQuery(kId, "cdn.example.com");
  const std::string expected = std::string("\x12\x34\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", 12) +
                               std::string(
                                   "\x03"
                                   "cdn\x07"
                                   "example\x03"
                                   "com\x00",
                                   17) +
                               std::string("\x00\x01\x00\x01", 4);
  EXPECT_EQ(q, expected);
  EXPECT_EQ(q.size(), 12 + 17 + 4u);
}

TEST(DnsQueryTest, RefusesNamesThatCannotBeEncoded) {
  EXPECT_TRUE(BuildDnsQuery(kId, std::string(64, 'a') + ".com").empty());
  EXPECT_FALSE(BuildDnsQuery(kId, std::string(63, 'a') + ".com").empty());
  std::string long_name;
  for (int i = 0; i < 5; ++i) long_name += std::string(60, 'b') + ".";
  EXPECT_TRUE(BuildDnsQuery(kId, long_name + "c").empty());
}

TEST(DnsReplyTest, ReadsAnswersInOrder) {
  const std::string q = BuildDnsQuery(kId, "h.example");
  DnsAddresses out;
  const std::string reply =
      ReplyBuilder(q, 3).Cname("\x01x\xC0\x0C").A("10.1.2.3").A("10.4.5.6", 6).Bytes();
  ASSERT_EQ(Parse(q, reply, &out), 0);
  ASSERT_EQ(out.count, 2);
  EXPECT_EQ(FormatIpv4(out.addresses[0]), "10.1.2.3");
  EXPECT_EQ(FormatIpv4(out.addresses[1]), "10.4.5.6");
}

TEST(DnsReplyTest, AtMostTwentyAddresses) {
  const std::string q = BuildDnsQuery(kId, "many");
  ReplyBuilder b(q, 25);
  for (int i = 0; i < 25; ++i) b.A(("10.0.0." + std::to_string(i)).c_str());
  DnsAddresses out;
  ASSERT_EQ(Parse(q, b.Bytes(), &out), 0);
  EXPECT_EQ(out.count, kMaxDnsAddresses);
  EXPECT_EQ(FormatIpv4(out.addresses[19]), "10.0.0.19");
}

TEST(DnsReplyTest, MalformedRepliesGiveMinusOne) {
  const std::string q = BuildDnsQuery(kId, "h");
  struct Case {
    const char* note;
    std::string reply;
  };
  const Case cases[] = {
      {"only CNAME records", ReplyBuilder(q, 1).Cname("\x01y\x00").Bytes()},
      {"no answers", ReplyBuilder(q, 0).Bytes()},
      {"shorter than a header", q.substr(0, 11)},
      {"answer count beyond the data", ReplyBuilder(q, 2).A("1.2.3.4").Bytes()},
      {"RDLENGTH beyond the data",
       ReplyBuilder(q, 1).A("1.2.3.4", 9).Bytes().substr(0, q.size() + 12 + 6)},
      {"A record shorter than four bytes",
       std::string(ReplyBuilder(q, 1).Cname("\x01\x02").Bytes()).replace(q.size() + 3, 1, "\x01")},
      {"pointer to itself",
       ReplyBuilder(q, 1).Raw(std::string("\xC0", 1) + static_cast<char>(q.size())).Bytes()},
      {"pointer forward", ReplyBuilder(q, 1).Raw("\xC0\xF0").Bytes()},
      {"pointer cut in half", ReplyBuilder(q, 1).Raw("\xC0").Bytes()},
      {"label past the end", ReplyBuilder(q, 1).Raw("\x3Fshort").Bytes()},
      {"reserved label type", ReplyBuilder(q, 1).Raw("\x41xxxx").Bytes()},
      {"question longer than the reply", q.substr(0, 14)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    DnsAddresses out;
    out.count = 7;
    EXPECT_EQ(Parse(q, c.reply, &out), -1);
    EXPECT_EQ(out.count, 0);
  }
}

TEST(DnsReplyTest, PointerChainLoopIsRefused) {
  // A label followed by a pointer back to that label: every pointer points
  // backwards, yet the name never ends. The jump limit ends it.
  const std::string q = BuildDnsQuery(kId, "h");
  const size_t base = q.size();
  std::string loop;
  loop.push_back('\x01');
  loop.push_back('a');
  loop.push_back('\xC0');
  loop.push_back(static_cast<char>(base));  // points at its own label
  DnsAddresses out;
  EXPECT_EQ(Parse(q, ReplyBuilder(q, 1).Raw(loop).Bytes(), &out), -1);
}

TEST(DnsReplyTest, EveryTruncationFailsCleanly) {
  const std::string q = BuildDnsQuery(kId, "h.example");
  const std::string reply = ReplyBuilder(q, 2).Cname("\x01x\xC0\x0C").A("10.1.2.3").Bytes();
  for (size_t n = 0; n < reply.size(); ++n) {
    // Copied to a buffer of exactly n bytes so a read past it is caught.
    std::vector<uint8_t> cut(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(n));
    DnsAddresses out;
    EXPECT_EQ(ParseDnsReply(cut.data(), cut.size(), q.size() - kDnsHeaderBytes, &out), -1) << n;
  }
}

}  // namespace
}  // namespace pelmar
