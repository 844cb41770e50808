#include "app/version_stamp.h"

#include <gtest/gtest.h>

#include <string>

namespace pelmar {
namespace {

uint16_t Word(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t Dword(const std::vector<uint8_t>& b, size_t at) {
  return Word(b, at) | (static_cast<uint32_t>(Word(b, at + 2)) << 16);
}

// Offset of a UTF-16LE text in the block, or npos.
size_t Find(const std::vector<uint8_t>& b, const std::wstring& text, size_t from = 0) {
  std::string needle;
  for (wchar_t c : text) {
    needle.push_back(static_cast<char>(c & 0xFF));
    needle.push_back(static_cast<char>(c >> 8));
  }
  return std::string(b.begin(), b.end()).find(needle, from);
}

// The layout the platform's version reader walks (Windows reads it back in
// the app_info tests): lengths, alignment, fixed information and strings.
TEST(VersionStampTest, BlockLayout) {
  const struct {
    const wchar_t* version;
    uint32_t ms, ls;
  } kCases[] = {
      {L"3.97.0.1", 0x00030061, 0x00000001},
      {L"2.1", 0x00020001, 0x00000000},
      {L"10.20.30.40", 0x000A0014, 0x001E0028},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.version, c.version + std::wstring(c.version).size()));
    const auto block = BuildVersionResource(c.version);
    EXPECT_EQ(Word(block, 0), block.size());  // the root's length is the whole block
    EXPECT_EQ(Word(block, 2), 52);            // fixed information
    EXPECT_EQ(Word(block, 4), 0);             // binary value
    EXPECT_EQ(Find(block, L"VS_VERSION_INFO"), 6u);
    // Key (6 + 32 bytes) padded to 40: the fixed information starts there.
    EXPECT_EQ(Dword(block, 40), 0xFEEF04BDu);
    EXPECT_EQ(Dword(block, 48), c.ms);  // file version
    EXPECT_EQ(Dword(block, 52), c.ls);
    EXPECT_EQ(Dword(block, 56), c.ms);  // product version
    EXPECT_EQ(Dword(block, 60), c.ls);

    const size_t key = Find(block, L"ProductVersion");
    ASSERT_NE(key, std::string::npos);
    const size_t entry = key - 6;  // the String block's header
    EXPECT_EQ(entry % 4, 0u);
    const size_t length = std::wstring(c.version).size() + 1;
    EXPECT_EQ(Word(block, entry + 2), length);  // value length in characters
    EXPECT_EQ(Word(block, entry + 4), 1);       // text value
    // "ProductVersion\0" (30 bytes) after the 6-byte header ends on a 4-byte
    // boundary: the value follows at once.
    const size_t value = Find(block, std::wstring(c.version) + L'\0', key);
    EXPECT_EQ(value, entry + 36);
    EXPECT_NE(Find(block, L"040904b0"), std::string::npos);
    const size_t translation = Find(block, L"Translation");
    ASSERT_NE(translation, std::string::npos);
    // Header (6) and "Translation\0" (24) padded to 32: language, code page.
    EXPECT_EQ(Dword(block, translation - 6 + 32), 0x04B00409u);
  }
}

}  // namespace
}  // namespace pelmar
