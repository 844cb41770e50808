#include "services/installer_settings.h"

#include "base/file_system.h"
#include "base/md5.h"
#include "base/text_convert.h"

namespace pelmar {
namespace {
const wchar_t kSection[] = L"General";
}  // namespace

InstallerSettings* InstallerSettings::Instance() {
  static InstallerSettings instance(DefaultFilePath());
  return &instance;
}

std::wstring InstallerSettings::DefaultFilePath() {
  const std::wstring dir = ProductDataDirectory();
  return dir.empty() ? std::wstring() : dir + L"config.ini";
}

InstallerSettings::InstallerSettings(std::wstring file_path) : file_(file_path) {
  members_[kFilePath] = std::move(file_path);
  if (members_[kFilePath].empty()) return;
  if (FileExists(members_[kFilePath])) {
    const std::wstring md5 = file_.Read(kSection, L"md5");
    const std::wstring path = file_.Read(kSection, L"path");
    // A record whose file no longer matches is cleaned from the file. A record
    // with only one of the two keys cannot be checked: clean it too.
    if (!ValidateAndRecord(md5, path, true) && (!md5.empty() || !path.empty())) {
      WriteKey(L"md5", L"");
      WriteKey(L"path", L"");
    }
  } else {
    WriteKey(L"md5", L"");
    WriteKey(L"path", L"");
  }
}

void InstallerSettings::WriteKey(const wchar_t* key, const std::wstring& value) {
  if (members_[kFilePath].empty()) return;
  // Not checked: before start-up creates the directory the file cannot be written.
  (void)file_.Write(kSection, key, value);
}

void InstallerSettings::Store(Member member, const wchar_t* key, const std::wstring& value) {
  if (value.empty()) return;
  members_[member] = value;
  WriteKey(key, value);
}

void InstallerSettings::SetLaunchAppName(const std::wstring& v) {
  Store(kLaunchAppName, L"launch_appname", v);
}
void InstallerSettings::SetIsSem(bool from_server) {
  Store(kIsSem, L"is_sem", from_server ? L"1" : L"0");
}
void InstallerSettings::SetAppId(const std::wstring& v) { Store(kAppId, L"app_id", v); }
void InstallerSettings::SetChannelId(const std::wstring& v) { Store(kChannelId, L"channel_id", v); }
void InstallerSettings::SetMid(const std::wstring& v) { Store(kMid, L"mid", v); }
void InstallerSettings::SetInstall() { Store(kInstall, L"install", L"1"); }
void InstallerSettings::SetWelcomeUrl(const std::wstring& v) {
  Store(kWelcomeUrl, L"welcome_url", v);
}
void InstallerSettings::SetBeginTimestamp(const std::wstring& v) {
  Store(kBeginTimestamp, L"begin_timestamp", v);
}
void InstallerSettings::SetEndTimestamp(const std::wstring& v) {
  Store(kEndTimestamp, L"end_timestamp", v);
}
void InstallerSettings::SetCam(const std::wstring& v) { Store(kCam, L"cam", v); }
void InstallerSettings::SetSessionId(const std::wstring& v) { Store(kSessionId, L"session_id", v); }
void InstallerSettings::SetAppVersion(const std::wstring& v) {
  Store(kAppVersion, L"app_version", v);
}
void InstallerSettings::SetAdvertisingAccountName(const std::wstring& v) {
  Store(kAdvertisingAccountName, L"advertising_account_name", v);
}

void InstallerSettings::RecordVerified(const std::wstring& md5, const std::wstring& path) {
  if (md5.empty() || path.empty()) return;
  Record(md5, path, true);
}

void InstallerSettings::Record(const std::wstring& md5, const std::wstring& path, bool write) {
  if (md5 == members_[kMd5] && path == members_[kPath]) return;
  members_[kMd5] = md5;
  members_[kPath] = path;
  if (write) {
    WriteKey(L"md5", md5);
    WriteKey(L"path", path);
  }
}

bool InstallerSettings::ValidateAndRecord(const std::wstring& md5, const std::wstring& path,
                                          bool already_recorded) {
  if (md5.empty() || path.empty()) return false;
  if (WideFromUtf8(Md5OfFile(path)) == md5) {
    Record(md5, path, !already_recorded);
    return true;
  }
  if (!members_[kMd5].empty() || !members_[kPath].empty()) {
    WriteKey(L"md5", L"");
    WriteKey(L"path", L"");
  }
  members_[kMd5].clear();
  members_[kPath].clear();
  return false;
}

}  // namespace pelmar
