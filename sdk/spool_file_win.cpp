#include "sdk/spool_file.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "sdk/envelope.h"
#include "sdk/sha256.h"

namespace pelmar::vek {

namespace {

class FileHandle {
 public:
  explicit FileHandle(HANDLE h) : h_(h) {}
  ~FileHandle() {
    if (ok()) CloseHandle(h_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  bool ok() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

bool WriteAll(HANDLE file, const char* data, size_t size) {
  while (size > 0) {
    DWORD written = 0;
    const DWORD chunk = size > (1u << 20) ? (1u << 20) : static_cast<DWORD>(size);
    if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

// Writes `source` from byte `offset` to its end into a new file `target`, in
// pieces: the rest may be longer than any one read.
bool CopyFrom(const std::wstring& source, size_t offset, const std::wstring& target) {
  FileHandle in(CreateFileW(source.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!in.ok()) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(in.get(), &size) || size.QuadPart < 0 ||
      static_cast<uint64_t>(size.QuadPart) < offset)
    return false;
  LARGE_INTEGER start{};
  start.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(in.get(), start, nullptr, FILE_BEGIN)) return false;
  FileHandle out(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out.ok()) return false;
  std::vector<char> buffer(1u << 20);
  uint64_t left = static_cast<uint64_t>(size.QuadPart) - offset;
  while (left > 0) {
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<uint64_t>(left, buffer.size()));
    if (!ReadFile(in.get(), buffer.data(), want, &n, nullptr) || n == 0) return false;
    if (!WriteAll(out.get(), buffer.data(), n)) return false;
    left -= n;
  }
  return FlushFileBuffers(out.get()) != FALSE;
}

std::wstring FolderKey(const std::wstring& folder) {
  std::wstring lower = folder;
  if (!lower.empty()) CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
  const int n = WideCharToMultiByte(CP_UTF8, 0, lower.c_str(), static_cast<int>(lower.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string utf8(n > 0 ? n : 0, '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, lower.c_str(), static_cast<int>(lower.size()), &utf8[0], n,
                        nullptr, nullptr);
  const Digest256 d = Sha256::Of(utf8);
  const std::string hex = HexLower(d.data(), 8);
  return std::wstring(hex.begin(), hex.end());
}

}  // namespace

std::wstring SpoolMutexName(const std::wstring& folder) {
  return L"Local\\PelmarVekSpool_" + FolderKey(folder);
}

std::wstring UploaderMutexName(const std::wstring& folder) {
  return L"Local\\PelmarVekUpload_" + FolderKey(folder);
}

CSpoolFile::CSpoolFile(const std::wstring& folder)
    : folder_(folder), path_(folder + L"spool.jsonl") {
  mutex_ = CreateMutexW(nullptr, FALSE, SpoolMutexName(folder).c_str());
}

CSpoolFile::~CSpoolFile() {
  if (held_) Unlock();
  if (mutex_) CloseHandle(static_cast<HANDLE>(mutex_));
}

bool CSpoolFile::Lock() {
  if (!mutex_) return false;
  const DWORD r = WaitForSingleObject(static_cast<HANDLE>(mutex_), kLockWaitMs);
  held_ = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
  return held_;
}

void CSpoolFile::Unlock() {
  if (held_) ReleaseMutex(static_cast<HANDLE>(mutex_));
  held_ = false;
}

bool CSpoolFile::AppendLine(const std::string& line) {
  FileHandle file(CreateFileW(path_.c_str(), GENERIC_READ | FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) return false;
  std::string text;
  if (size.QuadPart > 0) {
    LARGE_INTEGER last{};
    last.QuadPart = size.QuadPart - 1;
    char ch = 0;
    DWORD got = 0;
    if (!SetFilePointerEx(file.get(), last, nullptr, FILE_BEGIN) ||
        !ReadFile(file.get(), &ch, 1, &got, nullptr) || got != 1)
      return false;
    if (ch != '\n') text += '\n';
  }
  text += line;
  text += '\n';
  // The collector has been gone for long when the spool is full.
  if (!SpoolHasRoom(static_cast<uint64_t>(size.QuadPart), text.size())) return false;
  // FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the end.
  if (!WriteAll(file.get(), text.data(), text.size())) return false;
  return FlushFileBuffers(file.get()) != FALSE;
}

bool CSpoolFile::ReadAll(std::string* out) {
  out->clear();
  FileHandle file(CreateFileW(path_.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) return GetLastError() == ERROR_FILE_NOT_FOUND;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return false;
  // A file past the cap (an older writer's) is read as its bounded prefix:
  // its first records still go out, and removing them makes room again.
  out->resize(static_cast<size_t>(
      std::min<uint64_t>(static_cast<uint64_t>(size.QuadPart), kMaxSpoolBytes)));
  size_t got = 0;
  // Bounded by the size read above.
  while (got < out->size()) {
    DWORD n = 0;
    if (!ReadFile(file.get(), &(*out)[got], static_cast<DWORD>(out->size() - got), &n, nullptr) ||
        n == 0)
      break;
    got += n;
  }
  out->resize(got);
  return true;
}

bool CSpoolFile::RemovePrefix(size_t bytes) {
  const std::wstring temp = folder_ + L"spool.jsonl.new";
  if (!CopyFrom(path_, bytes, temp)) return false;
  return MoveFileExW(temp.c_str(), path_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

}  // namespace pelmar::vek
