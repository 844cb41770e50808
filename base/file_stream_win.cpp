#include <windows.h>

#include "base/file_stream.h"
#include "base/pelmar_error.h"

namespace pelmar {
namespace {

HANDLE Handle(NativeFile file) { return reinterpret_cast<HANDLE>(file); }

constexpr DWORD kAccess[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
constexpr DWORD kSharing[] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE};

uint64_t Combine(const FILETIME& t) {
  return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

}  // namespace

NativeFile OpenFileStream(uint32_t mode, const std::wstring& path) {
  if ((mode & 0xFFFF) == 0xFFFF) {
    if (path.empty()) throw PelmarError("filename can't be empty");
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw PelmarError("PelmarFileCreate failed");
    return reinterpret_cast<NativeFile>(h);
  }
  const uint32_t access = mode & 0x3;
  const uint32_t sharing = (mode >> 4) & 0xF;
  if (access == 3 || sharing > 4) return kNoFile;
  HANDLE h = ::CreateFileW(path.c_str(), kAccess[access], kSharing[sharing], nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw PelmarError("PelmarFileOpen failed");
  return reinterpret_cast<NativeFile>(h);
}

CFileStream::~CFileStream() {
  if (IsOpen()) ::CloseHandle(Handle(file_));
  file_ = kNoFile;
}

bool CFileStream::IsOpen() const { return file_ != kNoFile && file_ != 0; }

int64_t CFileStream::Seek(int64_t offset, int origin) {
  eof_ = false;
  if (!IsOpen() || origin < 0 || origin > 2) return -1;
  LARGE_INTEGER distance, position;
  distance.QuadPart = offset;
  if (!::SetFilePointerEx(Handle(file_), distance, &position, static_cast<DWORD>(origin)))
    return -1;
  return position.QuadPart;
}

bool CFileStream::TruncateHere() { return ::SetEndOfFile(Handle(file_)) != FALSE; }

int32_t CFileStream::Read(void* buffer, uint32_t count) {
  if (buffer == nullptr || count == 0) return 0;
  DWORD got = 0;
  if (::ReadFile(Handle(file_), buffer, count, &got, nullptr)) {
    if (got == 0) {
      eof_ = true;
      return -1;
    }
    return static_cast<int32_t>(got);
  }
  if (::GetLastError() == ERROR_HANDLE_EOF) {
    eof_ = true;
    return -1;
  }
  return static_cast<int32_t>(got);
}

int32_t CFileStream::Write(const void* buffer, uint32_t count) {
  eof_ = false;
  if (buffer == nullptr || count == 0) return 0;
  DWORD put = 0;
  if (!::WriteFile(Handle(file_), buffer, count, &put, nullptr)) return -1;
  return static_cast<int32_t>(put);
}

bool CFileStream::GetTimes(int64_t* creation, int64_t* last_access, int64_t* last_write) {
  FILETIME c, a, w;
  if (!IsOpen() || !::GetFileTime(Handle(file_), &c, &a, &w)) return false;
  if (creation) *creation = UnixSecondsFromFileTime(Combine(c));
  if (last_access) *last_access = UnixSecondsFromFileTime(Combine(a));
  if (last_write) *last_write = UnixSecondsFromFileTime(Combine(w));
  return true;
}

}  // namespace pelmar
