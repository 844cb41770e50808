#include "sdk/envelope.h"

#include <gtest/gtest.h>

#include <string>

namespace pelmar::vek {
namespace {

const std::string kKey = "7d2e94b1c0a85f63e19b4d07a2c6f358";

TEST(EnvelopeTest, RoundTripsPayloads) {
  const std::string payloads[] = {
      "",
      "a",
      "ab",
      "abc",
      "{\"code\":0,\"data\":{\"md5\":\"00\"}}",
      std::string("\0\xff\x80 binary", 10),
      std::string(5000, 'x'),
      "\xe4\xb8\xad\xe6\x96\x87",  // UTF-8 text
  };
  for (const auto& payload : payloads) {
    SCOPED_TRACE(payload.size());
    const std::string sealed = Seal(kKey, payload);
    ASSERT_EQ(sealed.size(), (payload.size() + 2) / 3 * 4 + 1 + kMacHexSize);
    std::string opened = "junk";
    ASSERT_TRUE(Open(kKey, sealed, &opened));
    EXPECT_EQ(opened, payload);
  }
}

TEST(EnvelopeTest, MatchesIndependentlyComputedSeal) {
  // Computed with another HMAC implementation (the backend's language).
  const std::string expected =
      "eyJjb2RlIjowfQ==.129657947ea1c9da57a3a623f4f9e397fcfbd55325a0727d9a0e76348c541afb";
  EXPECT_EQ(Seal(kKey, "{\"code\":0}"), expected);
  std::string out;
  ASSERT_TRUE(Open(kKey, expected, &out));
  EXPECT_EQ(out, "{\"code\":0}");
}

TEST(EnvelopeTest, EveryAlteredByteIsRefused) {
  const std::string sealed = Seal(kKey, "{\"url\":\"http://127.0.0.1/a.exe\"}");
  for (size_t i = 0; i < sealed.size(); ++i) {
    for (char replacement : {'A', '0', 'f', '.', '='}) {
      if (sealed[i] == replacement) continue;
      std::string altered = sealed;
      altered[i] = replacement;
      std::string out = "untouched";
      EXPECT_FALSE(Open(kKey, altered, &out)) << "byte " << i << " -> " << replacement;
      EXPECT_EQ(out, "untouched");
    }
  }
}

TEST(EnvelopeTest, WrongKeyIsRefused) {
  const std::string sealed = Seal(kKey, "payload");
  std::string out;
  for (const std::string& key : {std::string(), std::string("7d2e94b1c0a85f63e19b4d07a2c6f359"),
                                 kKey.substr(1), kKey + "0"}) {
    SCOPED_TRACE(key);
    EXPECT_FALSE(Open(key, sealed, &out));
  }
}

TEST(EnvelopeTest, EveryTruncationAndExtensionIsRefused) {
  const std::string sealed = Seal(kKey, "a payload of some length");
  std::string out;
  for (size_t n = 0; n < sealed.size(); ++n) {
    SCOPED_TRACE(n);
    EXPECT_FALSE(Open(kKey, std::string_view(sealed).substr(0, n), &out));
    EXPECT_FALSE(Open(kKey, std::string_view(sealed).substr(n + 1), &out));
  }
  EXPECT_FALSE(Open(kKey, sealed + "0", &out));
  EXPECT_FALSE(Open(kKey, sealed + "\n", &out));
  EXPECT_FALSE(Open(kKey, " " + sealed, &out));
}

TEST(EnvelopeTest, UpperCaseMacIsRefused) {
  std::string sealed = Seal(kKey, "x");
  for (size_t i = sealed.size() - kMacHexSize; i < sealed.size(); ++i)
    sealed[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(sealed[i])));
  std::string out;
  EXPECT_FALSE(Open(kKey, sealed, &out));
}

struct Base64Case {
  std::string text;
  bool valid;
  std::string bytes;
};

TEST(EnvelopeTest, Base64IsStrict) {
  const Base64Case cases[] = {
      {"", true, ""},          {"Zg==", true, "f"},        {"Zm8=", true, "fo"},
      {"Zm9v", true, "foo"},   {"Zm9vYg==", true, "foob"}, {"+/+/", true, "\xfb\xff\xbf"},
      {"Zg=", false, ""},       // length not a multiple of 4
      {"Zh==", false, ""},      // hidden bits not zero
      {"Zm9=", false, ""},      // hidden bits not zero
      {"Z===", false, ""},      // too much padding
      {"Zg==Zg==", false, ""},  // padding in the middle
      {"Zm 9", false, ""},      // space
      {"Zm9v\n", false, ""},    // line break
      {"Zm-_", false, ""},      // URL alphabet
      {"=Zm9", false, ""},      // leading padding
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string out = "untouched";
    EXPECT_EQ(Base64Decode(c.text, &out), c.valid);
    EXPECT_EQ(out, c.valid ? c.bytes : "untouched");
    if (c.valid) {
      EXPECT_EQ(Base64Encode(c.bytes), c.text);
    }
  }
}

}  // namespace
}  // namespace pelmar::vek
