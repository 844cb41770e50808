#include "base/md5.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/text_convert.h"
#include "temp_dir.h"

namespace pelmar {
namespace {

struct DigestCase {
  const char* input;
  const char* digest;
};

// The test suite of RFC 1321, appendix A.5 (the empty input is left out: the
// text helper answers empty text for it, checked separately).
const DigestCase kRfc1321[] = {
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5Test, Rfc1321Suite) {
  for (const auto& c : kRfc1321) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(Md5Text(std::string(c.input)), c.digest);
  }
}

TEST(Md5Test, EmptyDigestFromTheHasherItself) {
  CMd5 md5;
  EXPECT_EQ(md5.FinalText(), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(Md5Test, NoDataGivesEmptyText) {
  EXPECT_EQ(Md5Text(nullptr, 5), "");
  EXPECT_EQ(Md5Text("abc", 0), "");
  EXPECT_EQ(Md5Text("abc", -1), "");
  EXPECT_EQ(Md5Text(std::string()), "");
}

// Lengths around the 55/56/64-byte padding boundaries, fed whole and in every
// two pieces: the split must never change the digest.
TEST(Md5Test, PaddingBoundariesAndSplits) {
  const DigestCase kKnown[] = {
      {"0123456789012345678901234567890123456789012345678901234",
       "6e7a4fc92eb1c3f6e652425bcc8d44b5"},
      {"01234567890123456789012345678901234567890123456789012345",
       "8af270b2847610e742b0791b53648c09"},
      {"0123456789012345678901234567890123456789012345678901234567890123",
       "7f7bfd348709deeaace19e3f535f8c54"},
  };
  for (const auto& c : kKnown) {
    const std::string input = c.input;
    SCOPED_TRACE(input.size());
    EXPECT_EQ(Md5Text(input), c.digest);
    for (size_t cut = 0; cut <= input.size(); ++cut) {
      CMd5 md5;
      md5.Update(input.data(), cut);
      md5.Update(input.data() + cut, input.size() - cut);
      ASSERT_EQ(md5.FinalText(), c.digest) << "cut at " << cut;
    }
  }
}

class Md5FileTest : public ::testing::Test {
 protected:
  std::wstring Write(const std::string& name, const std::string& bytes) {
    const std::wstring path = dir_.File(WideFromUtf8(name));
    std::ofstream(std::filesystem::u8path(Utf8FromWide(path)), std::ios::binary) << bytes;
    return path;
  }

  testing::TempDir dir_;  // its name holds a space and non-ASCII characters
};

TEST_F(Md5FileTest, DigestOfFilesMatchesDigestOfTheirBytes) {
  // Sizes around the read piece so the streaming loop's edges are covered.
  const size_t kSizes[] = {
      1, 3, kMd5FilePiece - 1, kMd5FilePiece, kMd5FilePiece + 1, 3 * kMd5FilePiece + 17};
  for (size_t size : kSizes) {
    SCOPED_TRACE(size);
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    const auto path = Write(u8"файл " + std::to_string(size) + ".bin", bytes);
    EXPECT_EQ(Md5OfFile(path), Md5Text(bytes));
  }
  EXPECT_EQ(Md5OfFile(Write("abc.txt", "abc")), "900150983cd24fb0d6963f7d28e17f72");
}

TEST_F(Md5FileTest, EmptyMissingOrDirectoryGivesEmptyText) {
  EXPECT_EQ(Md5OfFile(Write("empty.bin", "")), "");
  EXPECT_EQ(Md5OfFile(dir_.File(L"missing.bin")), "");
  EXPECT_EQ(Md5OfFile(dir_.Wide()), "");
  EXPECT_EQ(Md5OfFile(L""), "");
}

}  // namespace
}  // namespace pelmar
