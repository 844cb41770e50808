#include "base/windows_file_name.h"

#include <gtest/gtest.h>

#include <string>

#include "base/text_convert.h"

namespace pelmar {
namespace {

struct NameCase {
  const wchar_t* name;
  bool device;
  bool plain;
};

const NameCase kNames[] = {
    // Devices, with or without an extension, in any case.
    {L"nul", true, false},
    {L"NUL", true, false},
    {L"con.exe", true, false},
    {L"Con.tar.gz", true, false},
    {L"prn.txt", true, false},
    {L"aux", true, false},
    {L"CONIN$", true, false},
    {L"conout$.log", true, false},
    {L"COM1", true, false},
    {L"lpt9.exe", true, false},
    {L"COM0", true, false},
    // The superscript digits one to three name ports too.
    {L"COM\u00B9", true, false},
    {L"com\u00B2.png", true, false},
    {L"LPT\u00B3", true, false},
    {L"lpt\u00B9.dll", true, false},
    // Windows drops trailing dots and spaces, before an extension too.
    {L"nul.", true, false},
    {L"nul ", true, false},
    {L"con .exe", true, false},
    {L"nul. ", true, false},
    // Not devices.
    {L"COM\u2074", false, true},  // superscript four is no port
    {L"COM10", false, true},
    {L"COM", false, true},
    {L"con1.png", false, true},
    {L"nullable.exe", false, true},
    {L"setup.exe", false, true},
    {L".hidden", false, true},
    {L"a..b", false, true},
    {L"\u5b89\u88c5.exe", false, true},
    // Not plain names for other reasons.
    {L"", false, false},
    {L".", false, false},
    {L"..", false, false},
    {L"a/b.exe", false, false},
    {L"a\\b.exe", false, false},
    {L"C:x.exe", false, false},
    {L"x.exe:stream", false, false},
    {L"x.exe.", false, false},
    {L"x.exe ", false, false},
    {L"what?.exe", false, false},
    {L"tab\tname", false, false},
    {L"a|b", false, false},
    {L"<a>", false, false},
    {L"quote\".exe", false, false},
};

TEST(WindowsFileNameTest, DevicesAndPlainNames) {
  for (const NameCase& c : kNames) {
    SCOPED_TRACE(Utf8FromWide(c.name));
    EXPECT_EQ(IsWindowsDeviceName(c.name), c.device);
    EXPECT_EQ(IsPlainWindowsFileName(c.name, 200), c.plain);
  }
}

TEST(WindowsFileNameTest, LengthLimit) {
  EXPECT_TRUE(IsPlainWindowsFileName(std::wstring(10, L'a'), 10));
  EXPECT_FALSE(IsPlainWindowsFileName(std::wstring(11, L'a'), 10));
}

}  // namespace
}  // namespace pelmar
