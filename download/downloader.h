#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/download_digests.h"
#include "base/file_stream.h"
#include "base/held_file.h"
#include "base/release_check.h"
#include "base/x_mutex.h"
#include "download/download_thread.h"
#include "download/query_url_info_thread.h"
#include "download/server_package_record.h"

namespace pelmar {

class InstallerSettings;

// The maker keys and the product this build pins (pelmar_config.h).
std::vector<MakerPublicKey> PinnedMakerKeys();
std::string PinnedReleaseProduct();

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
  // In state 4 the verified setup program is held open so that nobody can
  // write, rename or delete it (base/held_file.h). Runs `start` with its path
  // while it is still held and still named by that path (the caller creates
  // the setup process there), then lets the file go. False, without running
  // `start`, when there is no verified file held. A later Start checks the
  // file again before it reports it done once more.
  virtual bool StartCheckedFile(const std::function<void(const std::wstring& path)>& start) = 0;
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
  // Whom the installer trusts: the maker keys pinned at build time, the
  // product a release statement must name, and the clock its expiry is
  // read against (empty: the system's).
  std::vector<MakerPublicKey> makerKeys = PinnedMakerKeys();
  std::string releaseProduct = PinnedReleaseProduct();
  std::function<int64_t()> clock;
};

// Reuses a recorded download when it is new enough, still has the package
// digest and is the release a currently valid statement names; otherwise
// queries the URLs, checks the maker's signed release statement before
// fetching a byte, creates a partial file at full size, downloads it in two
// ranges on two threads, digesting the bytes in file order as they are
// written (MD5 against the package digest, SHA-256 and size against the
// statement), renames it to its final ".exe" name, holds it open and checks
// the digests it already has, and records it. The file is never read back
// but for the second range's bytes that arrived before the first range was
// complete: those are read once, as soon as it is, while the download goes
// on. While it is written nobody else may write, rename or delete it, and
// the file held at the end must be the very file written. A file that does not end verified
// is removed (the partial one at the latest when the controller goes).
// Nothing is reported done that a pinned maker key did not sign.
//
// Threads: the caller's polling thread runs every IDownloader operation; the
// query thread runs OnUrlInfo once per query; the download threads run
// WriteRange. `lock_` guards the file, the path, the range table and the
// running digest; state and progress counters are atomics. Threads are never destroyed while
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
  bool StartCheckedFile(const std::function<void(const std::wstring& path)>& start) override;
  void RequestStop() override;
  bool ThreadsEnded() override;

  bool OnUrlInfo(const UrlInfo& info) override;
  bool WriteRange(int32_t count, int32_t index, const char* data, int64_t offset) override;

  int32_t GetState() const { return state_.load(); }

 private:
  struct DownloadRange {
    std::string url;
    std::optional<UrlParts> parts;  // `url` as the query split it
    std::unique_ptr<CDownloadThread> thread;
    int64_t first = 0;  // the range's first byte
    int64_t start = 0;  // first byte not yet written; guarded by lock_
    int64_t end = -1;   // last byte, inclusive
  };

  // The end of the bytes written without a gap from the digested ones; lock_ held.
  int64_t DigestableEndLocked() const;
  // Digests what was written before it could be digested in order (the
  // second range's bytes that arrived before the first range was complete),
  // reading them once from the partial file. Run by the download thread
  // whose write made it possible, outside lock_, while the other goes on.
  void CatchUpDigest();
  // A new, empty running digest for a file about to be written; lock_ held.
  void ResetDigestLocked();

  [[nodiscard]] bool StartRangeThreads();
  // Writes the next bytes of a range; lock_ held.
  [[nodiscard]] bool WriteRangeLocked(int32_t count, int32_t index, const char* data,
                                      int64_t offset);
  void StopRangeThreads();
  // What checking a file found.
  enum class Check { kPassed, kDigestMismatch, kRefused };
  // Names, holds and checks the finished download; a file that fails is
  // removed.
  // `written_id` names the file written (null when it could not be named).
  [[nodiscard]] Check VerifyDownload(const FileIdentity* written_id);
  // Gives the finished partial file its final name.
  [[nodiscard]] bool PublishDownload();
  void RecordDownload();
  void ResetForRetry();
  // After a refusal of the maker's statement: the ranges and the partial
  // file go, so the next Start asks for the statement and the bytes anew.
  void DropDownload();
  [[nodiscard]] bool UseLocalFileByVersion();
  [[nodiscard]] bool UseLocalFileOnError(const SignedReleaseText& release);
  // The recorded file's digest is the package digest, and still the file's,
  // and a currently valid statement names its bytes; it is then held.
  [[nodiscard]] bool RecordedFileStillValid(const std::wstring& stored);
  ReleaseTrust Trust();
  // The statement of the release to download (kept for the final check);
  // false after sending the refusal's event.
  [[nodiscard]] bool AcceptRelease(const SignedReleaseText& release, int64_t announcedSize);
  // Holds `path` and checks its bytes: MD5 (when `md5` is not empty), then the
  // statement again and its size and SHA-256. The file stays held when it
  // passes. `report` sends a refusal's event (a digest mismatch has none).
  // With `written`, the file's bytes were digested as they were written: the
  // held file must then be the file written (`written_id`) and is not read.
  [[nodiscard]] Check HoldAndCheck(const std::wstring& path, const std::string& md5, bool report,
                                   const CDownloadDigests* written = nullptr,
                                   const FileIdentity* written_id = nullptr);
  // A file started once is checked again before it is done again.
  void RecheckStartedFile();
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
  // The bytes [0, digested_) of the partial file, in order; guarded by lock_
  // (a catch-up reads outside it, see CatchUpDigest).
  std::unique_ptr<CDownloadDigests> digests_;
  int64_t digested_ = 0;        // guarded by lock_
  bool catching_up_ = false;    // guarded by lock_: one catch-up at a time
  bool digest_failed_ = false;  // guarded by lock_: a catch-up could not read
  // The MD5 of the file last held and verified, for the record; guarded by lock_.
  std::string verified_md5_;
  SignedReleaseText release_;  // guarded by lock_: the statement in use
  // The verified file, held from its digest until the setup process exists;
  // guarded by lock_. Set exactly while the state is "done".
  std::unique_ptr<CHeldFile> held_;
  // The held file was handed to a setup process and let go: the next Start
  // checks it again. Caller's thread only.
  bool recheck_ = false;
  // Owned by the caller's thread: the texts the last GetFilePath/GetUrl returned.
  std::wstring path_out_;
  std::string url_out_;
};

// A controller with the given services; null if it cannot be made.
IDownloader* CreateDownloader(DownloaderServices services);

}  // namespace pelmar
