#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/file_stream.h"
#include "base/pelmar_error.h"
#include "base/text_convert.h"

namespace pelmar {
namespace {

int Fd(NativeFile file) { return static_cast<int>(file); }

// Natively files have no sharing modes; the mode word still selects access.
int AccessFlags(uint32_t access) {
  switch (access) {
    case 0:
      return O_RDONLY;
    case 1:
      return O_WRONLY;
    default:
      return O_RDWR;
  }
}

}  // namespace

NativeFile OpenFileStream(uint32_t mode, const std::wstring& path) {
  if ((mode & 0xFFFF) == 0xFFFF) {
    if (path.empty()) throw PelmarError("filename can't be empty");
    const int fd = ::open(Utf8FromWide(path).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw PelmarError("PelmarFileCreate failed");
    return fd;
  }
  const uint32_t access = mode & 0x3;
  const uint32_t sharing = (mode >> 4) & 0xF;
  if (access == 3 || sharing > 4) return kNoFile;
  const int fd = ::open(Utf8FromWide(path).c_str(), AccessFlags(access) | O_CLOEXEC);
  struct stat st;
  if (fd >= 0 && (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))) {
    ::close(fd);
    throw PelmarError("PelmarFileOpen failed");
  }
  if (fd < 0) throw PelmarError("PelmarFileOpen failed");
  return fd;
}

CFileStream::~CFileStream() {
  if (IsOpen()) ::close(Fd(file_));
  file_ = kNoFile;
}

bool CFileStream::IsOpen() const { return file_ >= 0; }

int64_t CFileStream::Seek(int64_t offset, int origin) {
  eof_ = false;
  static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (!IsOpen() || origin < 0 || origin > 2) return -1;
  const off_t at = ::lseek(Fd(file_), static_cast<off_t>(offset), kWhence[origin]);
  return at < 0 ? -1 : static_cast<int64_t>(at);
}

bool CFileStream::TruncateHere() {
  const off_t here = ::lseek(Fd(file_), 0, SEEK_CUR);
  return here >= 0 && ::ftruncate(Fd(file_), here) == 0;
}

int32_t CFileStream::Read(void* buffer, uint32_t count) {
  if (buffer == nullptr || count == 0) return 0;
  ssize_t got;
  do {
    got = ::read(Fd(file_), buffer, count > 0x7FFFFFFF ? 0x7FFFFFFF : count);
  } while (got < 0 && errno == EINTR);
  if (got == 0) {
    eof_ = true;
    return -1;
  }
  if (got < 0) return 0;
  return static_cast<int32_t>(got);
}

int32_t CFileStream::Write(const void* buffer, uint32_t count) {
  eof_ = false;
  if (buffer == nullptr || count == 0) return 0;
  const char* at = static_cast<const char*>(buffer);
  size_t left = count > 0x7FFFFFFF ? 0x7FFFFFFF : count;
  size_t done = 0;
  while (done < left) {
    const ssize_t put = ::write(Fd(file_), at + done, left - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return -1;
    done += static_cast<size_t>(put);
  }
  return static_cast<int32_t>(done);
}

bool CFileStream::GetTimes(int64_t* creation, int64_t* last_access, int64_t* last_write) {
  if (!IsOpen()) return false;
  // Linux keeps the birth time only in statx; without it the change time is
  // the closest stand-in for when the file was created.
  struct statx sx;
  int64_t born;
  if (::statx(Fd(file_), "", AT_EMPTY_PATH, STATX_BTIME | STATX_ATIME | STATX_MTIME, &sx) != 0)
    return false;
  born = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_ctime.tv_sec;
  if (creation) *creation = born;
  if (last_access) *last_access = sx.stx_atime.tv_sec;
  if (last_write) *last_write = sx.stx_mtime.tv_sec;
  return true;
}

}  // namespace pelmar
