#include "services/installer_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/md5.h"
#include "base/profile_file.h"
#include "base/text_convert.h"
#include "temp_dir.h"

namespace pelmar {
namespace {

std::filesystem::path Fs(const std::wstring& path) {
  return std::filesystem::u8path(Utf8FromWide(path));
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream(Fs(path), std::ios::binary | std::ios::trunc) << bytes;
}

class InstallerSettingsTest : public ::testing::Test {
 protected:
  std::wstring Config() const { return dir_.File(L"config.ini"); }
  std::wstring Read(const wchar_t* key) const {
    return ProfileFile(Config()).Read(L"General", key);
  }
  // A downloaded setup program with known bytes, under a non-ASCII name.
  std::wstring Download(const std::string& bytes) {
    const std::wstring path = dir_.File(L"setup \x5B89\x88C5.exe");
    WriteBytes(path, bytes);
    return path;
  }

  testing::TempDir dir_;
};

TEST_F(InstallerSettingsTest, FreshFileGetsTheTwoKeys) {
  InstallerSettings settings(Config());
  EXPECT_TRUE(std::filesystem::exists(Fs(Config())));
  EXPECT_EQ(settings.FilePath(), Config());
  EXPECT_EQ(settings.Md5(), L"");
  EXPECT_EQ(settings.Path(), L"");
}

TEST_F(InstallerSettingsTest, MissingDirectoryKeepsValuesInMemory) {
  const std::wstring config = dir_.File(L"not yet") + testing::TempDir::kSeparator + L"config.ini";
  InstallerSettings settings(config);
  settings.SetBeginTimestamp(L"1700000000");
  EXPECT_EQ(settings.BeginTimestamp(), L"1700000000");
  EXPECT_FALSE(std::filesystem::exists(Fs(config)));
  // Once the directory exists, the next write creates the file.
  std::filesystem::create_directories(Fs(dir_.File(L"not yet")));
  settings.SetLaunchAppName(L"C:\\\x6D4F\x89C8\x5668\\browser.exe");
  EXPECT_EQ(ProfileFile(config).Read(L"General", L"launch_appname"),
            L"C:\\\x6D4F\x89C8\x5668\\browser.exe");
}

TEST_F(InstallerSettingsTest, SettersWriteThrough) {
  InstallerSettings settings(Config());
  settings.SetLaunchAppName(L"C:\\Program Files\\b.exe");
  settings.SetIsSem(true);
  settings.SetAppId(L"10001061");
  settings.SetChannelId(L"huawei00");
  settings.SetMid(L"mid-1");
  settings.SetInstall();
  settings.SetWelcomeUrl(L"http://localhost/welcome?a=1&b=2");
  settings.SetBeginTimestamp(L"1");
  settings.SetEndTimestamp(L"2");
  settings.SetCam(L"cam");
  settings.SetSessionId(L"sid");
  settings.SetAppVersion(L"2.1.0.5");
  settings.SetAdvertisingAccountName(L"\x5E7F\x544A");
  const struct {
    const wchar_t* key;
    std::wstring memory;
    const wchar_t* value;
  } kCases[] = {
      {L"launch_appname", settings.LaunchAppName(), L"C:\\Program Files\\b.exe"},
      {L"is_sem", settings.IsSem(), L"1"},
      {L"app_id", settings.AppId(), L"10001061"},
      {L"channel_id", settings.ChannelId(), L"huawei00"},
      {L"mid", settings.Mid(), L"mid-1"},
      {L"install", settings.Install(), L"1"},
      {L"welcome_url", settings.WelcomeUrl(), L"http://localhost/welcome?a=1&b=2"},
      {L"begin_timestamp", settings.BeginTimestamp(), L"1"},
      {L"end_timestamp", settings.EndTimestamp(), L"2"},
      {L"cam", settings.Cam(), L"cam"},
      {L"session_id", settings.SessionId(), L"sid"},
      {L"app_version", settings.AppVersion(), L"2.1.0.5"},
      {L"advertising_account_name", settings.AdvertisingAccountName(), L"\x5E7F\x544A"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(Utf8FromWide(c.key));
    EXPECT_EQ(c.memory, c.value);
    EXPECT_EQ(Read(c.key), c.value);
  }
  settings.SetIsSem(false);
  EXPECT_EQ(Read(L"is_sem"), L"0");
  // An empty value changes neither memory nor file.
  settings.SetWelcomeUrl(L"");
  EXPECT_EQ(settings.WelcomeUrl(), L"http://localhost/welcome?a=1&b=2");
  EXPECT_EQ(Read(L"welcome_url"), L"http://localhost/welcome?a=1&b=2");
}

TEST_F(InstallerSettingsTest, ValidDownloadIsRecordedOnceAndReused) {
  const std::wstring setup = Download("setup program bytes");
  const std::wstring md5 = WideFromUtf8(Md5Text(std::string("setup program bytes")));
  {
    InstallerSettings settings(Config());
    EXPECT_TRUE(settings.ValidateAndRecord(md5, setup, false));
    EXPECT_EQ(Read(L"md5"), md5);
    EXPECT_EQ(Read(L"path"), setup);
    // Recording the same pair again does not write the file: a hand-made
    // change to the file survives it.
    ASSERT_TRUE(ProfileFile(Config()).Write(L"General", L"path", L"marker"));
    EXPECT_TRUE(settings.ValidateAndRecord(md5, setup, false));
    EXPECT_EQ(Read(L"path"), L"marker");
    ASSERT_TRUE(ProfileFile(Config()).Write(L"General", L"path", setup));
  }
  // A later run finds the record valid and keeps it.
  InstallerSettings later(Config());
  EXPECT_EQ(later.Md5(), md5);
  EXPECT_EQ(later.Path(), setup);
  EXPECT_EQ(Read(L"md5"), md5);
}

TEST_F(InstallerSettingsTest, StaleRecordsAreEmptiedAndNothingElseLost) {
  const std::string bytes = "the original download";
  const std::wstring md5 = WideFromUtf8(Md5Text(bytes));
  const struct {
    const char* what;
    std::string file_bytes;  // empty: the download is deleted
    std::wstring recorded_md5;
    bool only_path;  // "md5" key missing
  } kCases[] = {
      {"file changed", "changed bytes", md5, false},
      {"file deleted", "", md5, false},
      {"garbage digest", bytes, L"\x00e9garbage", false},
      {"path without md5", bytes, L"", true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    const std::wstring setup = Download(c.file_bytes.empty() ? bytes : c.file_bytes);
    if (c.file_bytes.empty()) std::filesystem::remove(Fs(setup));
    const ProfileFile file(Config());
    std::filesystem::remove(Fs(Config()));
    ASSERT_TRUE(file.Write(L"General", L"channel_id", L"keepme"));
    if (!c.only_path) {
      ASSERT_TRUE(file.Write(L"General", L"md5", c.recorded_md5));
    }
    ASSERT_TRUE(file.Write(L"General", L"path", setup));
    ASSERT_TRUE(file.Write(L"Other", L"x", L"1"));

    InstallerSettings settings(Config());
    EXPECT_EQ(settings.Md5(), L"");
    EXPECT_EQ(settings.Path(), L"");
    EXPECT_EQ(Read(L"md5"), L"");
    EXPECT_EQ(Read(L"path"), L"");
    EXPECT_EQ(Read(L"channel_id"), L"keepme");
    EXPECT_EQ(file.Read(L"Other", L"x"), L"1");
  }
}

TEST_F(InstallerSettingsTest, GarbageFileIsSurvived) {
  std::string garbage;
  for (int i = 0; i < 3000; ++i) garbage.push_back(static_cast<char>((i * 37 + 11) & 0xFF));
  garbage += "\n[General]\nmd5=0123\npath=C:\\nowhere\\x.exe\n";
  WriteBytes(Config(), garbage);
  InstallerSettings settings(Config());
  EXPECT_EQ(settings.Md5(), L"");
  EXPECT_EQ(settings.Path(), L"");
  EXPECT_EQ(Read(L"md5"), L"");
  EXPECT_EQ(Read(L"path"), L"");
  settings.SetChannelId(L"abc");
  EXPECT_EQ(Read(L"channel_id"), L"abc");
}

TEST_F(InstallerSettingsTest, ValidationArgumentsAndMismatch) {
  const std::wstring setup = Download("abc");
  InstallerSettings settings(Config());
  EXPECT_FALSE(settings.ValidateAndRecord(L"", setup, false));
  EXPECT_FALSE(settings.ValidateAndRecord(L"900150983cd24fb0d6963f7d28e17f72", L"", false));
  EXPECT_TRUE(settings.ValidateAndRecord(L"900150983cd24fb0d6963f7d28e17f72", setup, false));
  // Upper-case digits do not match: the comparison is exact.
  EXPECT_FALSE(settings.ValidateAndRecord(L"900150983CD24FB0D6963F7D28E17F72", setup, false));
  EXPECT_EQ(settings.Md5(), L"");
  EXPECT_EQ(Read(L"md5"), L"");
  EXPECT_EQ(Read(L"path"), L"");
}

}  // namespace
}  // namespace pelmar
