#include "base/release_check.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <cctype>
#include <string>

#include "base/testing/release_signing.h"

namespace pelmar {
namespace {

using testing::StatementFor;
using testing::TestMaker;

constexpr int64_t kSignedAt = 1717171717;
constexpr int64_t kDay = 24 * 3600;

const std::string& Bytes() {
  static const std::string bytes = "MZ" + std::string(5000, 's') + "setup";
  return bytes;
}

ReleaseSha256 Sha256Of(const std::string& bytes) {
  ReleaseSha256 digest{};
  crypto_hash_sha256(digest.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
                     bytes.size());
  return digest;
}

ReleaseTrust Trust(std::vector<MakerPublicKey> keys, const std::string& installed = "") {
  ReleaseTrust trust;
  trust.keys = std::move(keys);
  trust.product = "morvantile";
  trust.now = kSignedAt + kDay;
  trust.installedVersion = installed;
  return trust;
}

std::string Statement(const std::string& version = "1.0.0.1", const std::string& product = "morvantile",
                      int64_t days = 30) {
  return FormatReleaseStatement(StatementFor(Bytes(), version, product, kSignedAt, days));
}

struct Case {
  const char* name;
  SignedReleaseText release;
  ReleaseTrust trust;
  ReleaseVerdict verdict;
};

TEST(ReleaseCheckTest, EveryRefusalReason) {
  const TestMaker maker(1), other(2), retired(3);
  const std::vector<MakerPublicKey> pinned = {maker.PublicKey()};
  SignedReleaseText unsigned_release = maker.Sign(Statement());
  unsigned_release.signatureHex.clear();
  SignedReleaseText short_signature = maker.Sign(Statement());
  short_signature.signatureHex.pop_back();
  SignedReleaseText upper_signature = maker.Sign(Statement());
  for (char& c : upper_signature.signatureHex) c = static_cast<char>(std::toupper(c));
  // Extra bytes after a genuinely signed statement: not the signed bytes.
  SignedReleaseText appended = maker.Sign(Statement());
  appended.statement += "size=1\n";
  // A statement the parser refuses, signed all the same.
  const Case cases[] = {
      {"genuine", maker.Sign(Statement()), Trust(pinned), ReleaseVerdict::kValid},
      {"nothing served", {}, Trust(pinned), ReleaseVerdict::kNoStatement},
      {"statement without signature", unsigned_release, Trust(pinned), ReleaseVerdict::kMalformed},
      {"signature too short", short_signature, Trust(pinned), ReleaseVerdict::kMalformed},
      {"signature in upper case", upper_signature, Trust(pinned), ReleaseVerdict::kMalformed},
      {"signed but malformed", maker.Sign(Statement() + "note=x\n"), Trust(pinned),
       ReleaseVerdict::kMalformed},
      {"bytes appended after signing", appended, Trust(pinned), ReleaseVerdict::kMalformed},
      {"signed by another key", other.Sign(Statement()), Trust(pinned),
       ReleaseVerdict::kBadSignature},
      {"no key pinned", maker.Sign(Statement()), Trust({}), ReleaseVerdict::kBadSignature},
      {"another product", maker.Sign(Statement("1.0.0.1", "tovren")), Trust(pinned),
       ReleaseVerdict::kOtherProduct},
      {"expired", maker.Sign(Statement("1.0.0.1", "morvantile", 1)),
       Trust(pinned), ReleaseVerdict::kExpired},
      {"older than installed", maker.Sign(Statement("1.0.0.1")), Trust(pinned, "1.1.0.0"),
       ReleaseVerdict::kOlderThanInstalled},
      {"older in the last part", maker.Sign(Statement("1.1.0.0")), Trust(pinned, "1.1.0.1"),
       ReleaseVerdict::kOlderThanInstalled},
      {"same as installed", maker.Sign(Statement("1.1.0.0")), Trust(pinned, "1.1.0.0"),
       ReleaseVerdict::kValid},
      {"newer than installed", maker.Sign(Statement("1.1.0.0")), Trust(pinned, "1.0.9.9"),
       ReleaseVerdict::kValid},
      {"installed version with leading zeros", maker.Sign(Statement("1.1.0.0")),
       Trust(pinned, "01.01.00.00"), ReleaseVerdict::kValid},
      {"unreadable installed version", maker.Sign(Statement("1.0.0.1")), Trust(pinned, "n/a"),
       ReleaseVerdict::kValid},
      // Rotation: an installer pinning the old and the new key takes both.
      {"rotation: old key", retired.Sign(Statement()),
       Trust({retired.PublicKey(), maker.PublicKey()}), ReleaseVerdict::kValid},
      {"rotation: new key", maker.Sign(Statement()),
       Trust({retired.PublicKey(), maker.PublicKey()}), ReleaseVerdict::kValid},
      {"after rotation the retired key is refused", retired.Sign(Statement()), Trust(pinned),
       ReleaseVerdict::kBadSignature},
      {"a third key is never consulted", maker.Sign(Statement()),
       Trust({other.PublicKey(), retired.PublicKey(), maker.PublicKey()}),
       ReleaseVerdict::kBadSignature},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReleaseStatement statement;
    const ReleaseVerdict verdict = CheckSignedRelease(c.release, c.trust, &statement);
    EXPECT_EQ(verdict, c.verdict) << ReleaseVerdictName(verdict);
    if (verdict == ReleaseVerdict::kValid) {
      EXPECT_EQ(CheckReleaseBytes(statement, static_cast<int64_t>(Bytes().size()), Sha256Of(Bytes())),
                ReleaseVerdict::kValid);
    }
  }
}

TEST(ReleaseCheckTest, TheBytesMustBeTheNamedOnes) {
  const TestMaker maker(1);
  ReleaseStatement statement;
  ASSERT_EQ(CheckSignedRelease(maker.Sign(Statement()), Trust({maker.PublicKey()}), &statement),
            ReleaseVerdict::kValid);
  const int64_t size = static_cast<int64_t>(Bytes().size());
  EXPECT_EQ(CheckReleaseBytes(statement, size, Sha256Of(Bytes())), ReleaseVerdict::kValid);
  EXPECT_EQ(CheckReleaseBytes(statement, size + 1, Sha256Of(Bytes())),
            ReleaseVerdict::kSizeMismatch);
  std::string swapped = Bytes();
  swapped[100] ^= 1;
  EXPECT_EQ(CheckReleaseBytes(statement, size, Sha256Of(swapped)), ReleaseVerdict::kSha256Mismatch);
}

TEST(ReleaseCheckTest, ExpiryIsTheFirstSecondNoLongerValid) {
  const TestMaker maker(1);
  ReleaseTrust trust = Trust({maker.PublicKey()});
  const SignedReleaseText release = maker.Sign(Statement("1.0.0.1", "morvantile", 1));
  trust.now = kSignedAt + kDay - 1;
  EXPECT_EQ(CheckSignedRelease(release, trust, nullptr), ReleaseVerdict::kValid);
  trust.now = kSignedAt + kDay;
  EXPECT_EQ(CheckSignedRelease(release, trust, nullptr), ReleaseVerdict::kExpired);
}

// Every single bit of the statement and of the signature matters: flipped
// anywhere, the release is refused (as malformed where the flip breaks the
// format, else for its signature).
TEST(ReleaseCheckTest, AFlippedBitAnywhereIsRefused) {
  const TestMaker maker(1);
  const ReleaseTrust trust = Trust({maker.PublicKey()});
  const SignedReleaseText genuine = maker.Sign(Statement());
  ASSERT_EQ(CheckSignedRelease(genuine, trust, nullptr), ReleaseVerdict::kValid);
  int flips = 0;
  for (size_t i = 0; i < genuine.statement.size(); ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      SignedReleaseText flipped = genuine;
      flipped.statement[i] = static_cast<char>(flipped.statement[i] ^ (1 << bit));
      const ReleaseVerdict v = CheckSignedRelease(flipped, trust, nullptr);
      EXPECT_TRUE(v == ReleaseVerdict::kBadSignature || v == ReleaseVerdict::kMalformed)
          << "statement byte " << i << " bit " << bit << ": " << ReleaseVerdictName(v);
      ++flips;
    }
  }
  // The signature as bytes (its hex text flipped would only be malformed).
  ReleaseSignature signature{};
  ASSERT_TRUE(ParseLowerHex(genuine.signatureHex, signature.data(), signature.size()));
  for (size_t i = 0; i < signature.size(); ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      ReleaseSignature bad = signature;
      bad[i] = static_cast<uint8_t>(bad[i] ^ (1 << bit));
      SignedReleaseText flipped = genuine;
      flipped.signatureHex = LowerHex(bad.data(), bad.size());
      EXPECT_EQ(CheckSignedRelease(flipped, trust, nullptr), ReleaseVerdict::kBadSignature)
          << "signature byte " << i << " bit " << bit;
      ++flips;
    }
  }
  // And the pinned key.
  for (size_t i = 0; i < kMakerPublicKeyBytes; ++i) {
    ReleaseTrust other = trust;
    other.keys[0][i] = static_cast<uint8_t>(other.keys[0][i] ^ 0x10);
    EXPECT_EQ(CheckSignedRelease(genuine, other, nullptr), ReleaseVerdict::kBadSignature)
        << "key byte " << i;
  }
  EXPECT_EQ(flips, static_cast<int>(genuine.statement.size() * 8 + 64 * 8));
}

TEST(ReleaseCheckTest, PinnedKeysFromTheirText) {
  std::vector<MakerPublicKey> keys;
  const TestMaker a(1), b(2);
  EXPECT_TRUE(ParseMakerKeys({a.PublicHex()}, &keys));
  EXPECT_EQ(keys, std::vector<MakerPublicKey>{a.PublicKey()});
  EXPECT_TRUE(ParseMakerKeys({a.PublicHex(), b.PublicHex()}, &keys));
  EXPECT_EQ(keys.size(), 2u);
  EXPECT_FALSE(ParseMakerKeys({}, &keys));
  EXPECT_FALSE(ParseMakerKeys({a.PublicHex(), b.PublicHex(), a.PublicHex()}, &keys));
  EXPECT_FALSE(ParseMakerKeys({a.PublicHex().substr(1)}, &keys));
  // The repository's development key pair belongs together.
  EXPECT_EQ(TestMaker::Development().PublicHex(), testing::kDevelopmentPublicHex);
}

}  // namespace
}  // namespace pelmar
