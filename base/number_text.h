#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pelmar {

// Reads text like "%lld": skips leading white space, takes an optional sign
// and the digits that follow, stops at the first other byte; no digits give 0.
// Saturates at the 64-bit limits instead of overflowing. Lenient on purpose:
// header values, proxy replies, record sizes and version parts written by
// other programs are read the way those programs' own readers read them.
int64_t ParseDecimalLikeScanf(std::string_view text);

// Strict: 1 to `max_digits` decimal digits and nothing else (no sign, no
// white space). `max_digits` is at most 19 so the value cannot overflow.
// `*value` is written only on success.
[[nodiscard]] bool ParseDecimalDigits(std::string_view text, size_t max_digits, uint64_t* value);

}  // namespace pelmar
