#include "base/file_stream.h"

namespace pelmar {

int64_t CFileStream::GetSize() {
  const int64_t here = Tell();
  if (here == -1) return -1;
  const int64_t size = Seek(0, kFromEnd);
  SeekTo(here);
  return size;
}

bool CFileStream::SetSize(int64_t size) {
  if (SeekTo(size) == -1) return false;
  const bool ended = TruncateHere();
  SeekTo(0);
  eof_ = false;
  return ended;
}

int64_t UnixSecondsFromFileTime(uint64_t file_time) {
  constexpr int64_t kEpochDifference = 116444736000000000LL;  // 1601 to 1970 in 100 ns
  constexpr int64_t kUnitsPerSecond = 10000000LL;
  return (static_cast<int64_t>(file_time) - kEpochDifference) / kUnitsPerSecond;
}

}  // namespace pelmar
