#include "base/ini_text.h"

#include <gtest/gtest.h>

namespace pelmar {
namespace {

TEST(IniTextTest, Reading) {
  const IniText ini(
      "\xEF\xBB\xBF; comment\r\n"
      "[Other]\r\n"
      "md5=other\r\n"
      "[ general ]\r\n"
      "  MD5 =  abc  \r\n"
      "path=\"C:\\a b\\x.exe\"\r\n"
      "garbage line without equals\r\n"
      "empty=\r\n"
      "[Third]\r\n"
      "path=third\n");
  const struct {
    const char* section;
    const char* key;
    const char* value;  // null: absent
  } kCases[] = {
      {"General", "md5", "abc"},              // section and key case, blanks
      {"General", "path", "C:\\a b\\x.exe"},  // quotes removed
      {"General", "empty", ""},
      {"General", "missing", nullptr},
      {"Other", "md5", "other"},
      {"Third", "path", "third"},  // last line without a line break
      {"Nowhere", "md5", nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    const auto value = ini.Get(c.section, c.key);
    if (c.value == nullptr) {
      EXPECT_FALSE(value.has_value());
    } else {
      ASSERT_TRUE(value.has_value());
      EXPECT_EQ(*value, c.value);
    }
  }
}

TEST(IniTextTest, WritingKeepsEveryOtherLine) {
  IniText ini("; keep me\r\n[General]\r\nmd5=old\r\nnoise\r\n\r\n[Other]\r\nx=1\r\n");
  ini.Set("General", "md5", "new");
  ini.Set("General", "path", "C:\\p");
  ini.Set("Fresh", "k", "v");
  EXPECT_EQ(ini.Text(),
            "; keep me\r\n[General]\r\nmd5=new\r\nnoise\r\npath=C:\\p\r\n\r\n[Other]\r\nx=1\r\n"
            "\r\n[Fresh]\r\nk=v\r\n");
  // What was written reads back through a fresh parse.
  const IniText again(ini.Text());
  EXPECT_EQ(again.Get("General", "md5").value_or("?"), "new");
  EXPECT_EQ(again.Get("General", "path").value_or("?"), "C:\\p");
  EXPECT_EQ(again.Get("Fresh", "k").value_or("?"), "v");
  EXPECT_EQ(again.Get("Other", "x").value_or("?"), "1");
}

TEST(IniTextTest, ValuesCannotAddLines) {
  IniText ini;
  ini.Set("General", "path", "a\r\n[General]\r\nmd5=forged");
  const IniText again(ini.Text());
  EXPECT_FALSE(again.Get("General", "md5").has_value());
  EXPECT_EQ(again.Get("General", "path").value_or("?"), "a  [General]  md5=forged");
}

TEST(IniTextTest, GarbageIsKeptAndTolerated) {
  static const char kGarbage[] = "\x01\x02[\xFF\xFE]]=\n\0\0=\n[General\nmd5=x\n";
  const std::string garbage(kGarbage, sizeof kGarbage - 1);
  IniText ini(garbage);
  EXPECT_FALSE(ini.Get("General", "md5").has_value());  // "[General" is no header
  ini.Set("General", "md5", "");
  EXPECT_EQ(IniText(ini.Text()).Get("General", "md5").value_or("?"), "");
  EXPECT_NE(ini.Text().find("[\xFF\xFE]]="), std::string::npos);
}

// A byte-order mark is written back, so a second one behind it stays text
// and a line that starts with it never turns into a section header.
TEST(IniTextTest, ByteOrderMarkIsKept) {
  IniText ini("\xEF\xBB\xBF\xEF\xBB\xBF[General]\r\nmd5=a\r\n");
  EXPECT_FALSE(ini.Get("General", "md5").has_value());
  ini.Set("General", "md5", "b");
  const std::string text = ini.Text();
  EXPECT_EQ(text.substr(0, 6), "\xEF\xBB\xBF\xEF\xBB\xBF");
  EXPECT_EQ(IniText(text).Get("General", "md5").value_or("?"), "b");
  EXPECT_EQ(IniText("k=v\r\n").Text().substr(0, 3), "k=v");  // no mark added
}

}  // namespace
}  // namespace pelmar
