#include "base/number_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace pelmar {
namespace {

constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

TEST(DecimalLikeScanfTest, Table) {
  const struct {
    const char* text;
    int64_t value;
  } cases[] = {
      {"", 0},
      {"abc", 0},
      {"ab", 0},
      {"97", 97},
      {"  17", 17},
      {"\t+8x", 8},
      {"\n\v\f\r 5", 5},  // every white space "%lld" skips
      {"-12", -12},
      {"-5", -5},
      {"007", 7},
      {"12ab", 12},
      {"12.9", 12},
      {" - 1", 0},  // white space after the sign ends the number
      {"+", 0},
      {"65536", 65536},
      {"9223372036854775807", kMax},
      {"9223372036854775808", kMax},
      {"99999999999999999999999", kMax},
      {"-9223372036854775808", kMin},
      {"-9223372036854775809", kMin},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseDecimalLikeScanf(c.text), c.value);
  }
}

TEST(DecimalLikeScanfTest, StopsAtTheEndOfTheView) {
  // The digits after the view's end belong to someone else.
  const std::string text = "123456";
  EXPECT_EQ(ParseDecimalLikeScanf(std::string_view(text).substr(0, 3)), 123);
}

TEST(DecimalDigitsTest, Table) {
  const struct {
    const char* text;
    size_t maxDigits;
    bool ok;
    uint64_t value;
  } cases[] = {
      {"0", 5, true, 0},
      {"65535", 5, true, 65535},
      {"00080", 5, true, 80},   // leading zeros are digits too
      {"123456", 5, false, 0},  // longer than allowed
      {"", 5, false, 0},        // no digits
      {"+1", 5, false, 0},      // no sign
      {" 1", 5, false, 0},      // no white space
      {"1 ", 5, false, 0},
      {"12a", 5, false, 0},
      {"999999999999999999", 18, true, 999999999999999999ULL},
      {"9999999999999999999", 19, true, 9999999999999999999ULL},
      {"99999999999999999999", 20, false, 0},  // would overflow: refused whatever is asked
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    uint64_t value = 7;
    EXPECT_EQ(ParseDecimalDigits(c.text, c.maxDigits, &value), c.ok);
    EXPECT_EQ(value, c.ok ? c.value : 7u) << "written only on success";
  }
}

}  // namespace
}  // namespace pelmar
