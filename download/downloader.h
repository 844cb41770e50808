#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/file_stream.h"
#include "base/x_mutex.h"
#include "download/download_thread.h"
#include "download/query_url_info_thread.h"
#include "download/server_package_record.h"

namespace pelmar {

class InstallerSettings;

// The download as the progress page sees it: start it, poll it about every
// 50 ms, then take the file's path. Operations in slot order.
class IDownloader {
 public:
  enum State : int32_t { kNew = 0, kRunning = 1, kDestroying = 3, kDone = 4, kFailed = 5 };

  // True when the download is running or already done.
  virtual bool Start() = 0;
  virtual bool Unused1() { return false; }
  virtual bool Unused2() { return false; }
  virtual bool Unused3() { return false; }
  virtual int32_t GetProgress() = 0;  // percent, 0..100
  virtual int32_t Poll() = 0;         // the state
  virtual void Destroy() = 0;         // destroys the object
  // The local file path; empty until decided. Valid until the next call.
  virtual const wchar_t* GetFilePath() = 0;
  // The URL being downloaded. Valid until the next call.
  virtual const char* GetUrl() = 0;
  // For a quit: asks every thread of the download to end without waiting
  // for them, and tells whether they all have. The download stays as it is;
  // destroying it afterwards waits no longer than the threads still need.
  virtual void RequestStop() = 0;
  virtual bool ThreadsEnded() = 0;

 protected:
  virtual ~IDownloader() = default;
};

// Everything the controller takes from the rest of the installer. The
// product's values come from DefaultDownloaderServices() in app/ (the
// composition root); the tests give their own record, folder and settings file.
struct DownloaderServices {
  UrlQuerySettings query;                 // the package record and the query's hosts
  InstallerSettings* settings = nullptr;  // recorded download; null: none kept
  std::wstring productDataDirectory;      // the file goes here (ends with a separator)
  // "ProductVersion" of a file; an empty path means the installer itself.
  std::function<std::wstring(const std::wstring&)> productVersionOfFile;
  std::function<std::wstring()> installedProductPath;
  std::function<std::wstring()> installedProductVersion;
  // The setup program's size as the package record names it; 0 (or no
  // function) when it names none. The announced length must equal it.
  std::function<int64_t()> recordedSize;
  DownloadTimings timings;
};

// Reuses a recorded download when it is new enough and still has the
// package digest; otherwise queries the URLs, creates a partial file at full
// size, downloads it in two ranges on two threads, checks it against the
// package digest, renames it to its final ".exe" name and records it. A
// download that does not end verified removes its partial file when the
// controller goes.
//
// Threads: the caller's polling thread runs every IDownloader operation; the
// query thread runs OnUrlInfo once per query; the download threads run
// WriteRange. `lock_` guards the file, the path and the range table; state
// and progress counters are atomics. Threads are never destroyed while
// `lock_` is held, because a finishing thread still needs it to write.
class CDownloader : public IDownloader, public IUrlInfoReceiver, public IRangeWriter {
 public:
  static constexpr int kRangeCount = 2;
  static constexpr int kTimeoutMs = 2000;
  static constexpr int kAttemptLimit = 20;

  explicit CDownloader(DownloaderServices services);
  ~CDownloader() override;

  bool Start() override;
  int32_t GetProgress() override;
  int32_t Poll() override;
  void Destroy() override;
  const wchar_t* GetFilePath() override;
  const char* GetUrl() override;
  void RequestStop() override;
  bool ThreadsEnded() override;

  bool OnUrlInfo(const UrlInfo& info) override;
  bool WriteRange(int32_t count, int32_t index, const char* data, int64_t offset) override;

  int32_t GetState() const { return state_.load(); }

 private:
  struct DownloadRange {
    std::string url;
    std::unique_ptr<CDownloadThread> thread;
    int64_t start = 0;  // first byte not yet written; guarded by lock_
    int64_t end = -1;   // last byte, inclusive
  };

  [[nodiscard]] bool StartRangeThreads();
  void StopRangeThreads();
  [[nodiscard]] bool VerifyDownload();
  // Gives the verified partial file its final name.
  [[nodiscard]] bool PublishDownload();
  void RecordDownload();
  void ResetForRetry();
  [[nodiscard]] bool UseLocalFileByVersion();
  [[nodiscard]] bool UseLocalFileOnError();
  // The recorded file's digest is the package digest, and still the file's.
  [[nodiscard]] bool RecordedFileStillValid(const std::wstring& stored);
  void UseStoredFile(const std::wstring& stored);
  [[nodiscard]] bool CreateTargetFile();
  std::string PackageMd5();
  std::wstring Path();
  // Where the bytes are written until they are verified; empty until the
  // path is decided.
  std::wstring PartialPath();
  std::wstring PartialPathLocked() const;  // lock_ held

  const DownloaderServices services_;
  std::atomic<int32_t> state_{kNew};
  // Raised by RequestStop and the destructor: a query the owner stopped
  // hands over nothing and reports nothing.
  std::atomic<bool> stopping_{false};
  CXMutex lock_;
  std::wstring path_;  // guarded by lock_
  std::atomic<int64_t> total_{0};
  std::atomic<int64_t> downloaded_{0};
  std::unique_ptr<CFileStream> file_;  // guarded by lock_
  std::unique_ptr<QueryUrlInfoThread> query_;
  std::vector<DownloadRange> ranges_;  // table guarded by lock_
  // Owned by the caller's thread: the texts the last GetFilePath/GetUrl returned.
  std::wstring path_out_;
  std::string url_out_;
};

// A controller with the given services; null if it cannot be made.
IDownloader* CreateDownloader(DownloaderServices services);

}  // namespace pelmar
