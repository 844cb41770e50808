#include "download/range_split.h"

#include <cstddef>

namespace pelmar {

std::vector<RangeBounds> SplitRanges(int64_t total, int count) {
  std::vector<RangeBounds> ranges;
  if (count < 1 || total < 0) return ranges;
  const int64_t part = total / count;
  const int64_t rest = total % count;
  ranges.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    RangeBounds r;
    r.first = i * part;
    r.last = r.first + part - 1;
    if (i == count - 1) r.last += rest;
    ranges.push_back(r);
  }
  return ranges;
}

bool IsAcceptableTargetSize(int64_t announced, int64_t recorded) {
  if (announced <= 0 || announced > kMaxSetupProgramBytes) return false;
  return recorded <= 0 || announced == recorded;
}

}  // namespace pelmar
