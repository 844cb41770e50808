#include "download/downloader.h"

#include <algorithm>
#include <ctime>
#include <mutex>
#include <new>

#include "base/ansi_path.h"
#include "base/download_digests.h"
#include "base/file_system.h"
#include "base/text_convert.h"
#include "download/download_events.h"
#include "download/download_file_name.h"
#include "download/range_split.h"
#include "net/socket_ops.h"
#include "pelmar_config.h"
#include "services/installer_settings.h"

namespace pelmar {

std::vector<MakerPublicKey> PinnedMakerKeys() {
  std::vector<std::string> hex;
  for (const char* key : config::kMakerPublicKeys) hex.emplace_back(key);
  std::vector<MakerPublicKey> keys;
  // The build checks the key file; a key that does not read pins nothing,
  // and then nothing is ever started.
  if (!ParseMakerKeys(hex, &keys)) keys.clear();
  return keys;
}

std::string PinnedReleaseProduct() { return config::kReleaseProduct; }

CDownloader::CDownloader(DownloaderServices services) : services_(std::move(services)) {
  (void)StartSockets();
}

CDownloader::~CDownloader() {
  stopping_.store(true);
  const bool done = state_.exchange(kDestroying) == kDone;
  query_.reset();  // waits for the query thread
  StopRangeThreads();
  std::lock_guard<CXMutex> lock(lock_);
  file_.reset();
  held_.reset();
  // An abandoned or failed download leaves nothing behind in the folder.
  if (!done && !path_.empty()) (void)RemoveFile(PartialPathLocked());
}

void CDownloader::Destroy() { delete this; }

void CDownloader::RequestStop() {
  stopping_.store(true);
  if (query_) query_->RequestStop();
  std::lock_guard<CXMutex> lock(lock_);
  for (DownloadRange& range : ranges_) {
    if (range.thread) range.thread->RequestCancel();
  }
}

bool CDownloader::ThreadsEnded() {
  if (query_ && query_->IsRunning()) return false;
  std::lock_guard<CXMutex> lock(lock_);
  for (const DownloadRange& range : ranges_) {
    if (range.thread && range.thread->IsRunning()) return false;
  }
  return true;
}

std::wstring CDownloader::Path() {
  std::lock_guard<CXMutex> lock(lock_);
  return path_;
}

std::wstring CDownloader::PartialPathLocked() const { return path_ + kPartialFileSuffix; }

std::wstring CDownloader::PartialPath() {
  std::lock_guard<CXMutex> lock(lock_);
  return path_.empty() ? std::wstring() : PartialPathLocked();
}

std::string CDownloader::PackageMd5() {
  IPackageRecord* package = services_.query.package;
  return package != nullptr ? package->GetMd5() : std::string();
}

bool CDownloader::Start() {
  const int32_t previous = state_.load();
  if (previous == kRunning || previous == kDone) return true;
  if (recheck_) {
    // The file of this download was started once; Poll checks it again.
    state_.store(kRunning);
    return true;
  }
  SendDownloadStartEvent();
  bool have_ranges;
  {
    std::lock_guard<CXMutex> lock(lock_);
    have_ranges = !ranges_.empty();
  }
  if (have_ranges) {
    if (!StartRangeThreads()) return false;
    state_.store(kRunning);
    return true;
  }
  query_.reset();
  // Running before the query exists: its thread may reuse a stored file and
  // set "done" before the constructor even returns.
  state_.store(kRunning);
  try {
    query_ = std::make_unique<QueryUrlInfoThread>(std::string(), this, services_.query);
  } catch (const std::exception&) {
    query_.reset();
  }
  // A query without a thread would never finish, and Poll would say
  // "running" for ever: that is a start failure.
  if (!query_ || !query_->HasThread()) {
    query_.reset();
    state_.store(previous);
    return false;
  }
  return true;
}

bool CDownloader::OnUrlInfo(const UrlInfo& info) {
  if (stopping_.load()) return false;
  const int64_t recorded = services_.recordedSize ? services_.recordedSize() : 0;
  // The file is created at this size before a byte arrives: a server may not
  // size it at will.
  if (!IsAcceptableTargetSize(info.size, recorded) || info.urls.empty()) {
    SendDownloadErrorEvent(kThreadErrorType, "参数错误");
    (void)UseLocalFileOnError(info.release);
    return false;
  }
  {
    std::lock_guard<CXMutex> lock(lock_);
    release_ = info.release;
  }
  if (UseLocalFileByVersion()) return true;
  // Before a byte is fetched: a statement the maker signed, for this
  // product, current, no rollback, naming the size the server announces.
  // Refused, nothing is created and Poll fails the download.
  if (!AcceptRelease(info.release, info.size)) return false;
  total_.store(info.size);
  {
    std::lock_guard<CXMutex> lock(lock_);
    if (path_.empty()) {
      std::wstring name = info.fileName.empty() ? std::wstring(L"PelmarPkg.exe") : info.fileName;
      const std::wstring fixed = services_.productVersionOfFile
                                     ? FixedFileNameForVersion(services_.productVersionOfFile(L""))
                                     : std::wstring();
      if (!fixed.empty()) name = fixed;
      // Never anything but a plain ".exe" name next to "config.ini".
      if (!IsAcceptableSetupFileName(name)) name = L"PelmarPkg.exe";
      path_ = services_.productDataDirectory + name;
    }
  }
  // A folder that cannot take the file sends no event of its own: the state
  // stays "running" with no ranges and Poll fails it.
  if (!CreateTargetFile()) return false;
  {
    std::lock_guard<CXMutex> lock(lock_);
    for (const RangeBounds& bounds : SplitRanges(info.size, kRangeCount)) {
      DownloadRange range;
      range.url = info.urls.front();
      if (!info.urlParts.empty()) range.parts = info.urlParts.front();
      range.first = bounds.first;
      range.start = bounds.first;
      range.end = bounds.last;
      ranges_.push_back(std::move(range));
    }
  }
  return StartRangeThreads();
}

bool CDownloader::CreateTargetFile() {
  std::lock_guard<CXMutex> lock(lock_);
  file_.reset();
  ResetDigestLocked();
  const std::wstring partial = PartialPathLocked();
  const int64_t total = total_.load();
  try {
    // The bytes go to a partial file; only a verified file gets the name
    // the setup program is started under.
    {
      CFileStream created(OpenFileStream(kModeCreate, partial));
      if (!created.SetSize(total) || created.GetSize() != total) return false;
    }
    // Its bytes are digested as they are written, so from here to the end
    // nobody else may write, rename or delete it; a handle another process
    // opened meanwhile makes this open fail.
    file_ = std::make_unique<CFileStream>(OpenFileStream(kModeReadWriteOthersRead, partial));
  } catch (const std::exception&) {
    file_.reset();
    return false;
  }
  if (file_->GetSize() != total) {
    file_.reset();
    return false;
  }
  return true;
}

void CDownloader::ResetDigestLocked() {
  digests_ = std::make_unique<CDownloadDigests>();
  digested_ = 0;
  catching_up_ = false;
  digest_failed_ = false;
}

int64_t CDownloader::DigestableEndLocked() const {
  // Ranges are in file order: a complete range leads into the next one.
  int64_t end = digested_;
  for (const DownloadRange& range : ranges_) {
    if (end >= range.first && end <= range.end) end = range.start;
  }
  return end;
}

namespace {

// Reads exactly `size` bytes at `offset`; false on an error or a short file.
bool ReadAt(CFileStream& file, int64_t offset, char* buffer, size_t size) {
  if (file.SeekTo(offset) != offset) return false;
  size_t done = 0;
  while (done < size) {
    const int32_t n = file.Read(buffer + done, static_cast<uint32_t>(size - done));
    if (n < 1) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

void CDownloader::CatchUpDigest() {
  std::unique_ptr<CFileStream> reader;
  std::vector<char> piece;
  // Each round digests at least one byte more, up to the file's size.
  for (;;) {
    int64_t from, to;
    std::wstring partial;
    {
      std::lock_guard<CXMutex> lock(lock_);
      from = digested_;
      to = std::min<int64_t>(DigestableEndLocked(), from + kDigestPieceBytes);
      if (from >= to || digest_failed_ || !digests_) {
        catching_up_ = false;
        return;
      }
      partial = PartialPathLocked();
    }
    // Outside the lock, so the other range goes on writing: nobody else
    // digests while this runs, and the bytes read are written already and
    // written once.
    bool read = false;
    try {
      if (!reader) reader = std::make_unique<CFileStream>(OpenFileStream(kModeReadShared, partial));
      piece.resize(static_cast<size_t>(to - from));
      read = ReadAt(*reader, from, piece.data(), piece.size());
    } catch (const std::exception&) {
      read = false;
    }
    std::lock_guard<CXMutex> lock(lock_);
    if (!read) {
      // The file cannot be verified any more; Poll downloads it again.
      digest_failed_ = true;
      catching_up_ = false;
      return;
    }
    digests_->Update(piece.data(), piece.size());
    digested_ = to;
  }
}

bool CDownloader::StartRangeThreads() {
  size_t count;
  {
    std::lock_guard<CXMutex> lock(lock_);
    count = ranges_.size();
  }
  for (size_t i = 0; i < count; ++i) {
    std::string url;
    std::optional<UrlParts> parts;
    int64_t start, end;
    {
      std::lock_guard<CXMutex> lock(lock_);
      if (ranges_[i].start > ranges_[i].end) continue;  // complete
      url = ranges_[i].url;
      parts = ranges_[i].parts;
      start = ranges_[i].start;
      end = ranges_[i].end;
    }
    std::unique_ptr<CDownloadThread> thread;
    try {
      // Made outside the lock: it resolves a host name, and once running it
      // takes the lock to write.
      const int32_t index = static_cast<int32_t>(i);
      thread = parts ? std::make_unique<CDownloadThread>(*parts, kTimeoutMs, kAttemptLimit, start,
                                                         end, this, index, services_.timings)
                     : std::make_unique<CDownloadThread>(url, kTimeoutMs, kAttemptLimit, start, end,
                                                         this, index, services_.timings);
    } catch (const std::bad_alloc&) {
      continue;  // the range keeps no thread; Poll fails the download
    } catch (const std::exception&) {
      SendDownloadErrorEvent(kThreadErrorType, "创建线程出错");
      StopRangeThreads();
      return false;
    }
    std::unique_ptr<CDownloadThread> old;
    {
      std::lock_guard<CXMutex> lock(lock_);
      // A stop that came while the thread was made has already cancelled
      // the others; this one must not run on.
      if (stopping_.load()) thread->RequestCancel();
      old = std::move(ranges_[i].thread);
      ranges_[i].thread = std::move(thread);
    }
    // `old` (an ended thread of an earlier run) goes here, outside the lock.
  }
  return true;
}

void CDownloader::StopRangeThreads() {
  std::vector<std::unique_ptr<CDownloadThread>> threads;
  {
    std::lock_guard<CXMutex> lock(lock_);
    for (DownloadRange& range : ranges_) threads.push_back(std::move(range.thread));
  }
  threads.clear();  // each cancels and waits for its thread
}

bool CDownloader::WriteRange(int32_t count, int32_t index, const char* data, int64_t offset) {
  {
    std::lock_guard<CXMutex> lock(lock_);
    if (!WriteRangeLocked(count, index, data, offset)) return false;
    // Bytes next in file order are digested as they are written; the rest
    // wait until the bytes before them are complete.
    if (offset == digested_ && digests_) {
      digests_->Update(data, static_cast<size_t>(count));
      digested_ += count;
    }
    if (catching_up_ || digested_ >= DigestableEndLocked()) return true;
    catching_up_ = true;
  }
  CatchUpDigest();
  return true;
}

bool CDownloader::WriteRangeLocked(int32_t count, int32_t index, const char* data, int64_t offset) {
  if (!file_ || data == nullptr || count <= 0 || index < 0 ||
      static_cast<size_t>(index) >= ranges_.size()) {
    return false;
  }
  DownloadRange& range = ranges_[static_cast<size_t>(index)];
  // Only the next bytes of the range may be written, never past its end.
  if (offset != range.start || offset + count - 1 > range.end) return false;
  if (file_->SeekTo(offset) != offset) return false;
  int32_t done = 0;
  while (done < count) {
    const int32_t n = file_->Write(data + done, static_cast<uint32_t>(count - done));
    if (n < 1) return false;
    done += n;
  }
  downloaded_ += count;
  range.start += count;
  return true;
}

int32_t CDownloader::Poll() {
  if (state_.load() != kRunning) return state_.load();
  if (recheck_) {
    RecheckStartedFile();
    return state_.load();
  }
  if (!query_) {
    StopRangeThreads();
    state_.store(kFailed);
    return kFailed;
  }
  if (!query_->IsFinished()) return kRunning;
  // The query may have reused a stored file on its way out.
  if (state_.load() != kRunning) return state_.load();
  size_t count;
  {
    std::lock_guard<CXMutex> lock(lock_);
    count = ranges_.size();
  }
  if (count == 0) {
    state_.store(kFailed);
    return kFailed;
  }
  bool any_running = false;
  for (size_t i = 0; i < count; ++i) {
    bool complete, has_thread, running = false;
    {
      std::lock_guard<CXMutex> lock(lock_);
      complete = ranges_[i].start > ranges_[i].end;
      has_thread = ranges_[i].thread != nullptr;
      if (has_thread) running = ranges_[i].thread->IsRunning();
      // A thread that ended after finishing its range wrote before it ended.
      if (has_thread && !running) complete = ranges_[i].start > ranges_[i].end;
    }
    if (complete) continue;
    if (!has_thread || !running) {
      StopRangeThreads();
      state_.store(kFailed);
      return kFailed;
    }
    any_running = true;
  }
  if (any_running) return state_.load();
  {
    // Every byte is written, but a thread that ended its range may still be
    // digesting the bytes the other one wrote first.
    std::lock_guard<CXMutex> lock(lock_);
    if (catching_up_) return state_.load();
  }

  FileIdentity written_id;
  bool identified;
  {
    std::lock_guard<CXMutex> lock(lock_);
    // Named while our handle still keeps everybody else from renaming it:
    // this is the file the digests describe.
    identified = !path_.empty() && IdentifyFile(PartialPathLocked(), &written_id);
    file_.reset();
  }
  const Check check = VerifyDownload(identified ? &written_id : nullptr);
  if (check == Check::kPassed) {
    StopRangeThreads();
    int32_t seconds = 0;
    try {
      CFileStream file(OpenFileStream(kModeReadShared, Path()));
      int64_t created = 0, accessed = 0, written = 0;
      if (file.GetTimes(&created, &accessed, &written) && written > created) {
        seconds = static_cast<int32_t>(written - created);
      }
    } catch (const std::exception&) {
      seconds = 0;
    }
    SendDownloadResultEvent("下载成功", seconds);
    RecordDownload();
    state_.store(kDone);
  } else if (check == Check::kDigestMismatch) {
    ResetForRetry();
  } else {
    DropDownload();
  }
  return state_.load();
}

int32_t CDownloader::GetProgress() {
  const int64_t total = total_.load();
  if (total <= 0) return 0;
  return static_cast<int32_t>(downloaded_.load() * 100 / total);
}

const wchar_t* CDownloader::GetFilePath() {
  path_out_ = Path();
  return path_out_.c_str();
}

const char* CDownloader::GetUrl() {
  url_out_.clear();
  if (query_) {
    url_out_ = query_->GetQueryUrl();
    if (url_out_.empty()) url_out_ = query_->GetFirstResultUrl();
  }
  if (url_out_.empty()) url_out_ = BuiltinDownloadUrl();
  return url_out_.c_str();
}

CDownloader::Check CDownloader::VerifyDownload(const FileIdentity* written_id) {
  if (PartialPath().empty() || written_id == nullptr) return Check::kDigestMismatch;
  std::unique_ptr<CDownloadDigests> digests;
  {
    std::lock_guard<CXMutex> lock(lock_);
    if (!digest_failed_ && digested_ == total_.load()) digests = std::move(digests_);
  }
  // Every byte is digested by now unless reading one back failed: then the
  // file is downloaded again rather than read once more.
  if (!digests) return Check::kDigestMismatch;
  digests->Finish();
  // Named first, then held under that name: the bytes checked are then the
  // bytes a setup process is created from. A file that fails the check does
  // not stay under the name.
  if (!PublishDownload()) return Check::kDigestMismatch;
  const std::wstring path = Path();
  const Check check = HoldAndCheck(path, PackageMd5(), true, digests.get(), written_id);
  if (check != Check::kPassed) (void)RemoveFile(path);
  return check;
}

bool CDownloader::PublishDownload() {
  std::lock_guard<CXMutex> lock(lock_);
  return RenameReplacing(PartialPathLocked(), path_);
}

ReleaseTrust CDownloader::Trust() {
  ReleaseTrust trust;
  trust.keys = services_.makerKeys;
  trust.product = services_.releaseProduct;
  trust.now = services_.clock ? services_.clock() : static_cast<int64_t>(std::time(nullptr));
  if (services_.installedProductPath && services_.installedProductVersion &&
      !services_.installedProductPath().empty()) {
    trust.installedVersion = Utf8FromWide(services_.installedProductVersion());
  }
  return trust;
}

bool CDownloader::AcceptRelease(const SignedReleaseText& release, int64_t announcedSize) {
  ReleaseStatement statement;
  ReleaseVerdict verdict = CheckSignedRelease(release, Trust(), &statement);
  if (verdict == ReleaseVerdict::kValid && statement.size != announcedSize) {
    verdict = ReleaseVerdict::kSizeMismatch;
  }
  if (verdict == ReleaseVerdict::kValid) return true;
  SendDownloadErrorEvent(kThreadErrorType, ReleaseRefusalStatus(verdict));
  return false;
}

CDownloader::Check CDownloader::HoldAndCheck(const std::wstring& path, const std::string& md5,
                                             bool report, const CDownloadDigests* written,
                                             const FileIdentity* written_id) {
  std::unique_ptr<CHeldFile> held = CHeldFile::Open(path);
  CDownloadDigests read;
  bool held_and_digested = held != nullptr;
  if (held_and_digested && written != nullptr) {
    // Digested as written: only the very file written may be held.
    held_and_digested = written_id != nullptr && held->Is(*written_id);
  } else if (held_and_digested) {
    held_and_digested = DigestHeldFile(*held, &read);
  }
  if (!held_and_digested) {
    // Open elsewhere for writing or deleting, not a plain file, unreadable,
    // or another file in the place of the one written.
    if (report) SendDownloadErrorEvent(kThreadErrorType, kFileNotHeldStatus);
    return Check::kRefused;
  }
  const CDownloadDigests& digests = written != nullptr ? *written : read;
  // The record's MD5 first, checked as before: exact text, 32 lower-case hexadecimal
  // characters. A mismatch sends no event of its own.
  if (!md5.empty() && digests.Md5() != md5) return Check::kDigestMismatch;
  SignedReleaseText release;
  {
    std::lock_guard<CXMutex> lock(lock_);
    release = release_;
  }
  ReleaseStatement statement;
  ReleaseVerdict verdict = CheckSignedRelease(release, Trust(), &statement);
  if (verdict == ReleaseVerdict::kValid) {
    verdict = CheckReleaseBytes(statement, digests.Size(), digests.Sha256());
  }
  if (verdict != ReleaseVerdict::kValid) {
    if (report) SendDownloadErrorEvent(kThreadErrorType, ReleaseRefusalStatus(verdict));
    return Check::kRefused;
  }
  std::lock_guard<CXMutex> lock(lock_);
  verified_md5_ = digests.Md5();
  held_ = std::move(held);
  return Check::kPassed;
}

bool CDownloader::StartCheckedFile(const std::function<void(const std::wstring& path)>& start) {
  std::unique_ptr<CHeldFile> held;
  {
    std::lock_guard<CXMutex> lock(lock_);
    if (state_.load() != kDone || !held_) return false;
    held = std::move(held_);
  }
  // Once let go the file is no longer vouched for: checked again before
  // it is reported done again.
  recheck_ = true;
  state_.store(kNew);
  // The held file is still the one the path names (a link or another file
  // cannot have taken its place while it was held, but this costs nothing).
  if (!held->IsNamedBy(held->Path())) return false;
  start(held->Path());
  return true;  // `held` goes now: the setup process exists
}

void CDownloader::RecheckStartedFile() {
  recheck_ = false;
  const std::wstring path = Path();
  if (!path.empty() && HoldAndCheck(path, PackageMd5(), true) == Check::kPassed) {
    state_.store(kDone);
    return;
  }
  // Changed since it was started: it goes, and the next start asks for the
  // statement and the bytes afresh (a stored file is found no more).
  if (!path.empty()) (void)RemoveFile(path);
  DropDownload();
}

void CDownloader::DropDownload() {
  state_.store(kFailed);
  StopRangeThreads();
  std::vector<DownloadRange> ranges;
  {
    std::lock_guard<CXMutex> lock(lock_);
    file_.reset();
    if (!path_.empty()) (void)RemoveFile(PartialPathLocked());
    ranges.swap(ranges_);  // threads are gone: nothing to wait for under the lock
  }
  total_.store(0);
  downloaded_.store(0);
}

void CDownloader::RecordDownload() {
  const std::wstring path = Path();
  std::string verified;
  {
    std::lock_guard<CXMutex> lock(lock_);
    verified = verified_md5_;
  }
  std::string digest = PackageMd5();
  if (digest.empty()) digest = verified;
  // The digest verified on the held bytes is the file's: it is recorded
  // without reading the file again, and only when it is the one recorded.
  if (digest.empty() || path.empty() || services_.settings == nullptr) return;
  if (digest != verified) return;
  services_.settings->RecordVerified(WideFromUtf8(digest), path);
}

void CDownloader::ResetForRetry() {
  state_.store(kFailed);
  StopRangeThreads();
  (void)CreateTargetFile();  // without a file the next run fails its writes
  {
    std::lock_guard<CXMutex> lock(lock_);
    for (DownloadRange& range : ranges_) range.start = range.first;
  }
  downloaded_.store(0);
}

bool CDownloader::RecordedFileStillValid(const std::wstring& stored) {
  // Only the package digest vouches for a stored file: the settings file
  // says what was recorded, not what may be run. Without a digest nothing
  // is reused.
  const std::string digest = PackageMd5();
  if (digest.empty() || WideFromUtf8(digest) != services_.settings->Md5()) return false;
  // And only a currently valid statement of the maker that names its bytes:
  // the file is held and digested once, as a fresh download is.
  if (HoldAndCheck(stored, digest, false) == Check::kPassed) return true;
  // The file may have changed since it was recorded: the settings forget it.
  (void)services_.settings->ValidateAndRecord(services_.settings->Md5(), stored, true);
  return false;
}

void CDownloader::UseStoredFile(const std::wstring& stored) {
  {
    std::lock_guard<CXMutex> lock(lock_);
    path_ = stored;
  }
  state_.store(kDone);
  SendDownloadResultEvent("存在本地文件", -1);
}

bool CDownloader::UseLocalFileByVersion() {
  if (services_.settings == nullptr || !services_.productVersionOfFile) return false;
  IPackageRecord* package = services_.query.package;
  const std::wstring version = package != nullptr
                                   ? WideFromAnsi(DottedVersionOrEmpty(package->GetVersion()))
                                   : std::wstring();
  const std::wstring stored = services_.settings->Path();
  if (version.empty() || stored.empty()) return false;
  if (!CompareVersions(services_.productVersionOfFile(stored), version)) return false;
  if (!RecordedFileStillValid(stored)) return false;
  UseStoredFile(stored);
  return true;
}

bool CDownloader::UseLocalFileOnError(const SignedReleaseText& release) {
  if (services_.settings == nullptr) return false;
  // The statement the query brought, else the record's own.
  SignedReleaseText in_use = release;
  IPackageRecord* package = services_.query.package;
  if (in_use.empty() && package != nullptr && package->GetStatus() == IPackageRecord::kReady) {
    in_use = package->GetRelease();
  }
  {
    std::lock_guard<CXMutex> lock(lock_);
    release_ = std::move(in_use);
  }
  const std::wstring installed =
      services_.installedProductPath ? services_.installedProductPath() : std::wstring();
  const std::wstring stored = services_.settings->Path();
  if (stored.empty()) return false;
  if (!installed.empty()) {
    if (!services_.productVersionOfFile || !services_.installedProductVersion) return false;
    if (!CompareVersions(services_.productVersionOfFile(stored),
                         services_.installedProductVersion())) {
      return false;
    }
  }
  if (!RecordedFileStillValid(stored)) return false;
  UseStoredFile(stored);
  return true;
}

IDownloader* CreateDownloader(DownloaderServices services) {
  try {
    return new CDownloader(std::move(services));
  } catch (const std::exception&) {
    return nullptr;
  }
}

}  // namespace pelmar
