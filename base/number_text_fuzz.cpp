// Any bytes read as numbers, split pieces and versions: the strict reader
// only accepts what the lenient one reads the same way, the pieces never
// leave the text and put back together give it again, and a version always
// covers and reinstalls over itself when it has parts to compare.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/number_text.h"
#include "base/text_split.h"
#include "base/version_text.h"

namespace {

void CheckNumbers(std::string_view text) {
  const int64_t lenient = pelmar::ParseDecimalLikeScanf(text);
  uint64_t strict = 0;
  if (pelmar::ParseDecimalDigits(text, 18, &strict) && static_cast<uint64_t>(lenient) != strict) {
    __builtin_trap();
  }
}

void CheckSplit(std::string_view text) {
  std::string joined;
  for (const std::string_view piece : pelmar::SplitKeepingEmpty(text, '.')) {
    if (piece.data() < text.data() || piece.data() + piece.size() > text.data() + text.size())
      __builtin_trap();
    if (!joined.empty() || piece.data() != text.data()) joined += '.';
    joined += piece;
  }
  if (joined != text) __builtin_trap();
  for (const std::string_view piece : pelmar::SplitDroppingEmpty(text, '.')) {
    if (piece.empty() || piece.find('.') != std::string_view::npos) __builtin_trap();
  }
}

void CheckVersion(std::string_view text) {
  const pelmar::VersionText version(text);
  const bool has_parts = !pelmar::SplitDroppingEmpty(text, '.').empty();
  if (version.CoversEveryPartOf(version) != has_parts) __builtin_trap();
  if (version.IsReinstallOver(version) != !text.empty()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kMaxInput = 4096;  // versions and header values are short
  if (size > kMaxInput) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckNumbers(text);
  CheckSplit(text);
  CheckVersion(text);
  return 0;
}
