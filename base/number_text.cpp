#include "base/number_text.h"

#include <limits>

namespace pelmar {
namespace {

bool IsScanfSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int64_t ParseDecimalLikeScanf(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsScanfSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulates the magnitude up to the limit of the sign read, so the most
  // negative value is reachable and everything past a limit stays there.
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  uint64_t magnitude = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    const auto digit = static_cast<uint64_t>(text[i] - '0');
    magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
  }
  if (!negative) return static_cast<int64_t>(magnitude);
  if (magnitude == uint64_t{1} << 63) return std::numeric_limits<int64_t>::min();
  return -static_cast<int64_t>(magnitude);
}

bool ParseDecimalDigits(std::string_view text, size_t max_digits, uint64_t* value) {
  constexpr size_t kMaxSafeDigits = 19;  // 10^19 - 1 still fits 64 bits
  if (text.empty() || text.size() > max_digits || text.size() > kMaxSafeDigits) return false;
  uint64_t v = 0;
  for (const char c : text) {
    if (!IsDigit(c)) return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  *value = v;
  return true;
}

}  // namespace pelmar
