#include <cstdio>

#include "base/md5.h"

namespace pelmar::md5_internal {

std::FILE* OpenFileForMd5(const std::wstring& path) {
  if (path.empty()) return nullptr;
  return _wfopen(path.c_str(), L"rb");
}

int64_t SeekEndForMd5(std::FILE* file) {
  if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
  return _ftelli64(file);
}

}  // namespace pelmar::md5_internal
