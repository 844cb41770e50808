#include "app/welcome_address.h"

#include <gtest/gtest.h>

#include "base/md5.h"

namespace pelmar {
namespace {

TEST(WelcomeAddressTest, SeparatorRule) {
  const struct {
    const char* address;
    const char* separator;
  } cases[] = {
      {"http://w/welcome", "?"},           // no query yet
      {"http://w/welcome?", ""},           // ends in its first "?"
      {"http://w/welcome?a=1", "&"},       // a query: one more key
      {"http://w/welcome?a=1&", ""},       // ends in its first "&"
      {"http://w/welcome?a=1&b=2&", "&"},  // only the first "&" counts
      {"http://w/a?b?", "&"},              // only the first "?" counts
      {"", "?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(WelcomeSeparator(c.address), c.separator);
  }
}

TEST(WelcomeAddressTest, EncodesTheDefaultAddress) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"http://localhost:18480/welcome", "http%3A%2F%2Flocalhost%3A18480%2Fwelcome"},
      {"a b", "a+b"},
      {"-_.!~*'()", "-_.!~*'()"},
      {"?&=#%+", "%3F%26%3D%23%25%2B"},
      {"\xE6\xAC\xA2", "%E6%AC%A2"},  // "欢", upper-case hex per byte
      {std::string("a\0b", 3), "a%00b"},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(EncodeQueryValue(c.in), c.out);
  }
}

WelcomeInputs Inputs(const std::string& server) {
  WelcomeInputs in;
  in.serverAddress = server;
  in.defaultAddress = "http://web/welcome";
  in.channel = "huawei00";
  in.mid = "MID";
  in.machineHash = "HASH";
  in.appVersion = "2.1.0.5";
  in.timeStamp = "1700000000";
  in.advertisingAccount = "acct";
  return in;
}

TEST(WelcomeAddressTest, ServerAddressWithAndWithoutQuery) {
  const struct {
    const char* server;
    const char* head;
  } cases[] = {
      {"http://s/w", "http://s/w?_channel=huawei00"},
      {"http://s/w?", "http://s/w?_channel=huawei00"},
      {"http://s/w?x=1", "http://s/w?x=1&_channel=huawei00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.server);
    const WelcomeAddress w = BuildWelcomeAddress(Inputs(c.server));
    EXPECT_TRUE(w.fromServer);
    const std::string upToStamp =
        std::string(c.head) + "&_mid=MID&cam=HASH&app_version=2.1.0.5&time_stamp=1700000000";
    EXPECT_EQ(w.sessionId, Md5Text(upToStamp));
    EXPECT_EQ(w.address, upToStamp + "&session_id=" + w.sessionId +
                             "&ad_account=acct&def_welcom_url=http%3A%2F%2Fweb%2Fwelcome");
  }
}

TEST(WelcomeAddressTest, WithoutServerAddressTheDefaultAndNoAdKeys) {
  const WelcomeAddress w = BuildWelcomeAddress(Inputs(""));
  EXPECT_FALSE(w.fromServer);
  const std::string upToStamp =
      "http://web/welcome?_channel=huawei00&_mid=MID&cam=HASH&app_version=2.1.0.5"
      "&time_stamp=1700000000";
  EXPECT_EQ(w.address, upToStamp + "&session_id=" + Md5Text(upToStamp));
  EXPECT_EQ(w.address.find("ad_account"), std::string::npos);
  EXPECT_EQ(w.address.find("def_welcom_url"), std::string::npos);
  EXPECT_EQ(w.sessionId.size(), 32u);
}

TEST(WelcomeAddressTest, DefaultWithSpacesChineseAndReservedCharactersIsEncoded) {
  WelcomeInputs in = Inputs("http://s/w");
  in.defaultAddress = "http://web/欢迎 page?a=1&b=(x)";
  const WelcomeAddress w = BuildWelcomeAddress(in);
  const std::string tail =
      "&def_welcom_url=http%3A%2F%2Fweb%2F%E6%AC%A2%E8%BF%8E+page%3Fa%3D1%26b%3D(x)";
  ASSERT_GE(w.address.size(), tail.size());
  EXPECT_EQ(w.address.substr(w.address.size() - tail.size()), tail);
}

// The channel comes from the installer's file name: encoded, it stays the
// value of "_channel" whatever the name holds.
TEST(WelcomeAddressTest, ChannelFromTheFileNameIsEncoded) {
  const struct {
    std::string channel;
    std::string value;
  } kCases[] = {
      {"huawei00", "huawei00"},
      {"x#y", "x%23y"},              // no fragment swallowing the other keys
      {"a b", "a%20b"},              // no blank for the browser to split at
      {"a&_mid=X", "a%26_mid%3DX"},  // no second "_mid"
      {"a/b?c", "a%2Fb%3Fc"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value);
    WelcomeInputs in = Inputs("");
    in.channel = c.channel;
    const WelcomeAddress w = BuildWelcomeAddress(in);
    const std::string upToStamp = "http://web/welcome?_channel=" + c.value +
                                  "&_mid=MID&cam=HASH&app_version=2.1.0.5&time_stamp=1700000000";
    EXPECT_EQ(w.address, upToStamp + "&session_id=" + Md5Text(upToStamp));
  }
}

TEST(WelcomeAddressTest, ServerValuesLoseControlCharacters) {
  WelcomeInputs in = Inputs("http://s/w\r\nX-Injected: 1");
  in.advertisingAccount = "ac\nct";
  in.appVersion = "2.1\r\n[General]";
  const WelcomeAddress w = BuildWelcomeAddress(in);
  EXPECT_EQ(w.address.find_first_of("\r\n"), std::string::npos);
  EXPECT_NE(w.address.find("http://s/wX-Injected: 1?_channel="), std::string::npos);
  EXPECT_NE(w.address.find("&ad_account=acct&"), std::string::npos);
  EXPECT_NE(w.address.find("&app_version=2.1[General]&"), std::string::npos);
  // A server address of nothing but control characters counts as none.
  EXPECT_FALSE(BuildWelcomeAddress(Inputs("\r\n")).fromServer);
  EXPECT_EQ(WithoutControlCharacters(std::string("a\0b\x1F"
                                                 "c\x7F",
                                                 6)),
            "abc");
}

}  // namespace
}  // namespace pelmar
