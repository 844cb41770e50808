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

}  // namespace pelmar
