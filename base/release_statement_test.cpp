#include "base/release_statement.h"

#include <gtest/gtest.h>

#include <string>

namespace pelmar {
namespace {

const std::string kSha(64, 'a');
const std::string kGood =
    "pelmar-release=1\n"
    "product=morvantile\n"
    "version=1.0.0.1\n"
    "size=1048577\n"
    "sha256=" + kSha + "\n"
    "signed=1717171717\n"
    "expires=1724947717\n";

TEST(ReleaseStatementTest, ReadsTheFormat) {
  ReleaseStatement s;
  ASSERT_EQ(ParseReleaseStatement(kGood, &s), ReleaseParseError::kNone);
  EXPECT_EQ(s.format, 1);
  EXPECT_EQ(s.product, "morvantile");
  EXPECT_EQ(s.version, "1.0.0.1");
  EXPECT_EQ(s.versionParts, (std::vector<uint32_t>{1, 0, 0, 1}));
  EXPECT_EQ(s.size, 1048577);
  for (uint8_t b : s.sha256) EXPECT_EQ(b, 0xAA);
  EXPECT_EQ(s.signedAt, 1717171717);
  EXPECT_EQ(s.expiresAt, 1724947717);
  // The formatter writes the very same bytes back.
  EXPECT_EQ(FormatReleaseStatement(s), kGood);
}

// The text with line `index` (0-based) replaced by `line` (without its LF).
std::string WithLine(size_t index, const std::string& line) {
  std::string out;
  size_t at = 0, n = 0;
  while (at < kGood.size()) {
    const size_t end = kGood.find('\n', at);
    out += (n == index ? line : kGood.substr(at, end - at)) + "\n";
    at = end + 1;
    ++n;
  }
  return out;
}

struct Refusal {
  const char* name;
  std::string text;
  ReleaseParseError error;
};

TEST(ReleaseStatementTest, RefusesAnythingElse) {
  const Refusal cases[] = {
      {"empty", "", ReleaseParseError::kMissingKey},
      {"no final LF", kGood.substr(0, kGood.size() - 1), ReleaseParseError::kBadLine},
      {"CR LF", WithLine(0, "pelmar-release=1\r"), ReleaseParseError::kBadLine},
      {"blank line", kGood + "\n", ReleaseParseError::kBadLine},
      {"blank line first", "\n" + kGood, ReleaseParseError::kBadLine},
      {"line without =", WithLine(2, "version 1.0.0.1"), ReleaseParseError::kBadLine},
      {"empty key", WithLine(2, "=1.0.0.1"), ReleaseParseError::kBadLine},
      {"tab", WithLine(1, "product=morv\tantile"), ReleaseParseError::kBadLine},
      {"NUL", WithLine(1, std::string("product=morv\0antile", 19)), ReleaseParseError::kBadLine},
      {"UTF-8 beyond ASCII", WithLine(1, "product=m\xC3\xB6rvantile"), ReleaseParseError::kBadLine},
      {"too long", kGood + std::string(kMaxReleaseStatementBytes, 'x'), ReleaseParseError::kTooLong},
      {"unknown key", WithLine(3, "length=1048577"), ReleaseParseError::kUnknownKey},
      {"key in upper case", WithLine(3, "SIZE=1048577"), ReleaseParseError::kUnknownKey},
      {"space before =", WithLine(3, "size =1048577"), ReleaseParseError::kUnknownKey},
      {"unknown extra line", kGood + "comment=x\n", ReleaseParseError::kUnknownKey},
      {"duplicate line", kGood + "expires=1724947717\n", ReleaseParseError::kDuplicateKey},
      {"duplicate product", WithLine(2, "product=morvantile"), ReleaseParseError::kDuplicateKey},
      {"swapped lines", WithLine(2, "size=1048577"), ReleaseParseError::kOutOfOrder},
      {"missing last line", kGood.substr(0, kGood.find("expires=")), ReleaseParseError::kMissingKey},
      {"format 2", WithLine(0, "pelmar-release=2"), ReleaseParseError::kBadValue},
      {"format 01", WithLine(0, "pelmar-release=01"), ReleaseParseError::kBadValue},
      {"empty product", WithLine(1, "product="), ReleaseParseError::kBadValue},
      {"product with slash", WithLine(1, "product=morvantile/x"), ReleaseParseError::kBadValue},
      {"product too long", WithLine(1, "product=" + std::string(33, 'm')), ReleaseParseError::kBadValue},
      {"version with a letter", WithLine(2, "version=1.0.0.1a"), ReleaseParseError::kBadValue},
      {"version with five parts", WithLine(2, "version=1.0.0.1.0"), ReleaseParseError::kBadValue},
      {"version with an empty part", WithLine(2, "version=1..0.1"), ReleaseParseError::kBadValue},
      {"version with a leading zero", WithLine(2, "version=1.0.0.01"), ReleaseParseError::kBadValue},
      {"version part over 65535", WithLine(2, "version=1.0.0.65536"), ReleaseParseError::kBadValue},
      {"version with a sign", WithLine(2, "version=+1.0"), ReleaseParseError::kBadValue},
      {"size 0", WithLine(3, "size=0"), ReleaseParseError::kBadValue},
      {"negative size", WithLine(3, "size=-5"), ReleaseParseError::kBadValue},
      {"size with a leading zero", WithLine(3, "size=01048577"), ReleaseParseError::kBadValue},
      {"size over 4 GiB", WithLine(3, "size=4294967297"), ReleaseParseError::kBadValue},
      {"size of eleven digits", WithLine(3, "size=10000000000"), ReleaseParseError::kBadValue},
      {"sha256 upper case", WithLine(4, "sha256=" + std::string(64, 'A')), ReleaseParseError::kBadValue},
      {"sha256 short", WithLine(4, "sha256=" + std::string(63, 'a')), ReleaseParseError::kBadValue},
      {"sha256 long", WithLine(4, "sha256=" + std::string(65, 'a')), ReleaseParseError::kBadValue},
      {"sha256 not hex", WithLine(4, "sha256=" + std::string(64, 'g')), ReleaseParseError::kBadValue},
      {"signed 0", WithLine(5, "signed=0"), ReleaseParseError::kBadValue},
      {"signed in eleven digits", WithLine(5, "signed=17171717170"), ReleaseParseError::kBadValue},
      {"expiry before signing", WithLine(6, "expires=1717171716"), ReleaseParseError::kBadValue},
      {"expiry at signing", WithLine(6, "expires=1717171717"), ReleaseParseError::kBadValue},
      {"valid for longer than allowed",
       WithLine(6, "expires=" + std::to_string(1717171717 + kMaxReleaseValiditySeconds + 1)),
       ReleaseParseError::kBadValue},
      {"value with a space", WithLine(3, "size=1048577 "), ReleaseParseError::kBadValue},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.name);
    ReleaseStatement s;
    s.product = "untouched";
    EXPECT_EQ(ParseReleaseStatement(c.text, &s), c.error)
        << ReleaseParseErrorName(ParseReleaseStatement(c.text, &s));
    EXPECT_EQ(s.product, "untouched");
  }
}

TEST(ReleaseStatementTest, LimitsAreInclusive) {
  ReleaseStatement s;
  EXPECT_EQ(ParseReleaseStatement(WithLine(3, "size=4294967296"), &s), ReleaseParseError::kNone);
  EXPECT_EQ(ParseReleaseStatement(WithLine(2, "version=65535"), &s), ReleaseParseError::kNone);
  EXPECT_EQ(s.versionParts, std::vector<uint32_t>{65535});
  EXPECT_EQ(ParseReleaseStatement(WithLine(2, "version=0.0"), &s), ReleaseParseError::kNone);
  EXPECT_EQ(ParseReleaseStatement(
                WithLine(6, "expires=" + std::to_string(1717171717 + kMaxReleaseValiditySeconds)),
                &s),
            ReleaseParseError::kNone);
  const std::string longest_product = WithLine(1, "product=" + std::string(32, 'm'));
  EXPECT_EQ(ParseReleaseStatement(longest_product, &s), ReleaseParseError::kNone);
}

TEST(ReleaseStatementTest, DetachedFormSplitsAtItsLastLine) {
  const std::string signature(128, 'b');
  const std::string detached = kGood + "signature=" + signature + "\n";
  SignedReleaseText split;
  ASSERT_TRUE(SplitDetachedRelease(detached, &split));
  EXPECT_EQ(split.statement, kGood);
  EXPECT_EQ(split.signatureHex, signature);
  EXPECT_EQ(JoinDetachedRelease(split), detached);

  EXPECT_FALSE(SplitDetachedRelease(kGood, &split));
  EXPECT_FALSE(SplitDetachedRelease("", &split));
  EXPECT_FALSE(SplitDetachedRelease(detached.substr(0, detached.size() - 1), &split));
  EXPECT_FALSE(SplitDetachedRelease(kGood + "signature=" + signature + "0\n", &split));
  EXPECT_FALSE(SplitDetachedRelease(kGood + "Signature=" + signature + "\n", &split));
  // The signature line must begin a line.
  EXPECT_FALSE(SplitDetachedRelease(kGood.substr(0, kGood.size() - 1) + "signature=" + signature +
                                        "\n",
                                    &split));
  EXPECT_FALSE(SplitDetachedRelease(std::string(kMaxSignedReleaseBytes, 'x') + "signature=" +
                                        signature + "\n",
                                    &split));
}

TEST(ReleaseStatementTest, HexAndVersions) {
  uint8_t bytes[2];
  EXPECT_TRUE(ParseLowerHex("0aff", bytes, 2));
  EXPECT_EQ(bytes[0], 0x0A);
  EXPECT_EQ(bytes[1], 0xFF);
  EXPECT_EQ(LowerHex(bytes, 2), "0aff");
  EXPECT_FALSE(ParseLowerHex("0AFF", bytes, 2));
  EXPECT_FALSE(ParseLowerHex("0af", bytes, 2));

  std::vector<uint32_t> a, b;
  ASSERT_TRUE(ParseDottedVersion("1.2", &a));
  ASSERT_TRUE(ParseDottedVersion("1.2.0.0", &b));
  EXPECT_EQ(CompareVersionParts(a, b), 0);
  ASSERT_TRUE(ParseDottedVersion("1.10", &b));
  EXPECT_LT(CompareVersionParts(a, b), 0);
  ASSERT_TRUE(ParseDottedVersion("2.0", &b));
  ASSERT_TRUE(ParseDottedVersion("1.5", &a));
  EXPECT_GT(CompareVersionParts(b, a), 0);
}

}  // namespace
}  // namespace pelmar
