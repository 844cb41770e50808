#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/held_file.h"
#include "base/text_convert.h"

namespace pelmar {

struct CHeldFile::Native {
  int fd = -1;
  struct stat info {};
  ~Native() {
    if (fd >= 0) close(fd);
  }
};

CHeldFile::CHeldFile(std::wstring path, std::unique_ptr<Native> native)
    : path_(std::move(path)), native_(std::move(native)) {}

CHeldFile::~CHeldFile() = default;

std::unique_ptr<CHeldFile> CHeldFile::Open(const std::wstring& path) {
  if (path.empty()) return nullptr;
  auto native = std::make_unique<Native>();
  // A link in the file's place is refused, as on Windows.
  native->fd = open(Utf8FromWide(path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (native->fd < 0) return nullptr;
  if (fstat(native->fd, &native->info) != 0 || !S_ISREG(native->info.st_mode)) return nullptr;
  return std::unique_ptr<CHeldFile>(new CHeldFile(path, std::move(native)));
}

int64_t CHeldFile::Read(void* buffer, size_t size) {
  for (;;) {
    const ssize_t got = read(native_->fd, buffer, size);
    if (got >= 0) return static_cast<int64_t>(got);
    if (errno != EINTR) return -1;
  }
}

bool CHeldFile::Rewind() { return lseek(native_->fd, 0, SEEK_SET) == 0; }

bool CHeldFile::IsNamedBy(const std::wstring& path) const {
  struct stat info {};
  if (lstat(Utf8FromWide(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  return info.st_dev == native_->info.st_dev && info.st_ino == native_->info.st_ino;
}

bool CHeldFile::Is(const FileIdentity& identity) const {
  return identity == FileIdentity{static_cast<uint64_t>(native_->info.st_dev),
                                  static_cast<uint64_t>(native_->info.st_ino)};
}

bool IdentifyFile(const std::wstring& path, FileIdentity* identity) {
  struct stat info {};
  if (lstat(Utf8FromWide(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  *identity = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
  return true;
}

}  // namespace pelmar
