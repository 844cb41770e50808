#include <sys/stat.h>

#include <cstdio>

#include "base/md5.h"
#include "base/text_convert.h"

namespace pelmar::md5_internal {

std::FILE* OpenFileForMd5(const std::wstring& path) {
  if (path.empty()) return nullptr;
  std::FILE* file = std::fopen(Utf8FromWide(path).c_str(), "rb");
  if (file == nullptr) return nullptr;
  // fopen succeeds on a directory here, unlike on Windows; refuse it the same way.
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

int64_t SeekEndForMd5(std::FILE* file) {
  if (fseeko(file, 0, SEEK_END) != 0) return -1;
  return static_cast<int64_t>(ftello(file));
}

}  // namespace pelmar::md5_internal
