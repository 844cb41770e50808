#pragma once

#include <array>
#include <string>

#include "base/profile_file.h"

namespace pelmar {

// The settings file "config.ini" (section "General") in the product data
// directory, mirrored in memory. Every setter writes through at once; a write
// that cannot reach the file (its directory does not exist yet) keeps the
// value in memory only. The installer reads back only "md5" and "path".
// Threads: the user-interface thread and the download controller's completion
// path; no lock, callers never write the same key from two threads.
class InstallerSettings {
 public:
  // Process-wide instance, created on first call and destroyed at exit.
  static InstallerSettings* Instance();
  // The instance's file: ProductDataDirectory() + "config.ini".
  static std::wstring DefaultFilePath();

  // Reads and validates the recorded download of `file_path` when the file
  // exists, else writes the two keys empty (which creates the file when its
  // directory exists).
  explicit InstallerSettings(std::wstring file_path);

  // Setters of written keys. String setters ignore an empty value.
  void SetLaunchAppName(const std::wstring& value);
  void SetIsSem(bool from_server);  // "1" or "0"
  void SetAppId(const std::wstring& value);
  void SetChannelId(const std::wstring& value);
  void SetMid(const std::wstring& value);
  void SetInstall();  // always "1"
  void SetWelcomeUrl(const std::wstring& value);
  void SetBeginTimestamp(const std::wstring& value);
  void SetEndTimestamp(const std::wstring& value);
  void SetCam(const std::wstring& value);
  void SetSessionId(const std::wstring& value);
  void SetAppVersion(const std::wstring& value);
  void SetAdvertisingAccountName(const std::wstring& value);

  const std::wstring& Md5() const { return members_[kMd5]; }
  const std::wstring& Path() const { return members_[kPath]; }
  const std::wstring& LaunchAppName() const { return members_[kLaunchAppName]; }
  const std::wstring& FilePath() const { return members_[kFilePath]; }
  const std::wstring& IsSem() const { return members_[kIsSem]; }
  const std::wstring& AppId() const { return members_[kAppId]; }
  const std::wstring& ChannelId() const { return members_[kChannelId]; }
  const std::wstring& Mid() const { return members_[kMid]; }
  const std::wstring& Install() const { return members_[kInstall]; }
  const std::wstring& WelcomeUrl() const { return members_[kWelcomeUrl]; }
  const std::wstring& BeginTimestamp() const { return members_[kBeginTimestamp]; }
  const std::wstring& EndTimestamp() const { return members_[kEndTimestamp]; }
  const std::wstring& Cam() const { return members_[kCam]; }
  const std::wstring& SessionId() const { return members_[kSessionId]; }
  const std::wstring& AppVersion() const { return members_[kAppVersion]; }
  const std::wstring& AdvertisingAccountName() const { return members_[kAdvertisingAccountName]; }

  // Checks the file at `path` against `md5`. A match stores both (and writes
  // them to the file unless `already_recorded`, the case of values just read
  // from it) and returns true. A mismatch (changed, missing or unreadable
  // file) empties both keys in memory and file and returns false. An empty
  // argument returns false and changes nothing.
  [[nodiscard]] bool ValidateAndRecord(const std::wstring& md5, const std::wstring& path,
                                       bool already_recorded);
  // Stores and writes `md5` and `path` of a file whose digest the caller has
  // just verified on the bytes it holds, so the file is not read again.
  // An empty argument changes nothing.
  void RecordVerified(const std::wstring& md5, const std::wstring& path);

 private:
  enum Member {
    kMd5,
    kPath,
    kLaunchAppName,
    kFilePath,
    kIsSem,
    kAppId,
    kChannelId,
    kMid,
    kUnused,
    kInstall,
    kWelcomeUrl,
    kBeginTimestamp,
    kEndTimestamp,
    kCam,
    kSessionId,
    kAppVersion,
    kAdvertisingAccountName,
    kMemberCount
  };

  void Store(Member member, const wchar_t* key, const std::wstring& value);
  void WriteKey(const wchar_t* key, const std::wstring& value);
  // Keeps md5 and path in memory and, when `write`, in the file.
  void Record(const std::wstring& md5, const std::wstring& path, bool write);

  std::array<std::wstring, kMemberCount> members_;
  ProfileFile file_;
};

}  // namespace pelmar
