#pragma once

#include <cstdint>
#include <vector>

namespace pelmar {

// One byte range of the target file, both ends inclusive. A range whose
// first byte lies after its last is complete (or empty).
struct RangeBounds {
  int64_t first = 0;
  int64_t last = -1;
};

// Splits a file of `total` bytes into `count` ranges: each takes total / count
// bytes and the last one also takes the remainder, so it ends at total - 1.
// Ranges of a file shorter than `count` may be empty (first > last).
// No ranges for count < 1 or total < 0.
std::vector<RangeBounds> SplitRanges(int64_t total, int count);

// The target file is created at full size before a byte arrives, from the
// length a server announced. The setup program we ship is about 48 MB; a
// length past this limit is no setup program of ours, and would only fill
// the user's disk with a file a server sized.
inline constexpr int64_t kMaxSetupProgramBytes = int64_t{1} << 30;

// Whether the file may be created at `announced` bytes: positive, within
// kMaxSetupProgramBytes, and equal to `recorded` when the package record
// names the size (`recorded` > 0; 0 or less: it names none).
[[nodiscard]] bool IsAcceptableTargetSize(int64_t announced, int64_t recorded);

}  // namespace pelmar
