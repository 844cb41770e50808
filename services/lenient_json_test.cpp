#include "services/lenient_json.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <string>

namespace pelmar {
namespace {

struct NumberCase {
  const char* text;
  bool parses;
  Json::ValueType type;  // when it parses
  double value;          // when it parses
};

// Numbers in the servers' answers, read the same way by every build of the
// reader (the Windows modules' copy reads reals with strtod instead of a
// string stream): overflow fails the document, underflow reads as zero, an
// integer too big for 64 bits becomes a real.
const NumberCase kNumbers[] = {
    {"0", true, Json::intValue, 0},
    {"-7", true, Json::intValue, -7},
    {"18446744073709551615", true, Json::uintValue, 18446744073709551615.0},
    {"-9223372036854775808", true, Json::intValue, -9223372036854775808.0},
    {"18446744073709551616", true, Json::realValue, 18446744073709551616.0},
    {"1.5", true, Json::realValue, 1.5},
    {"-0.25", true, Json::realValue, -0.25},
    {"2.5e3", true, Json::realValue, 2500},
    {"2.5E-3", true, Json::realValue, 0.0025},
    {"1e+2", true, Json::realValue, 100},
    {"1.7976931348623157e308", true, Json::realValue, 1.7976931348623157e308},
    {"1e-400", true, Json::realValue, 0},
    {"1e400", false, Json::nullValue, 0},
    {"-1e400", false, Json::nullValue, 0},
    {"1e", false, Json::nullValue, 0},
    {"1.5e+", false, Json::nullValue, 0},
};

TEST(LenientJsonTest, ReadsNumbers) {
  for (const NumberCase& c : kNumbers) {
    SCOPED_TRACE(c.text);
    const std::string document = std::string("{\"n\":") + c.text + "}";
    Json::Value root(Json::objectValue);
    root["untouched"] = true;
    const bool parsed = ParseLenientJson(document, &root);
    ASSERT_EQ(parsed, c.parses);
    if (!parsed) {
      EXPECT_TRUE(root["untouched"].asBool());  // a failure leaves the output alone
      continue;
    }
    EXPECT_EQ(root["n"].type(), c.type);
    EXPECT_EQ(root["n"].asDouble(), c.value);
  }
}

struct DocumentCase {
  const char* name;
  std::string text;
  bool parses;
};

const DocumentCase kDocuments[] = {
    {"text after the value is ignored", "{\"code\":0} trailing", true},
    {"empty", "", false},
    {"cut short", "{\"code\":", false},
    {"not JSON", "<html>", false},
    {"nested past the reader's limit", std::string(2000, '[') + std::string(2000, ']'), false},
};

TEST(LenientJsonTest, FailsCleanlyOnBadDocuments) {
  for (const DocumentCase& c : kDocuments) {
    SCOPED_TRACE(c.name);
    Json::Value root;
    EXPECT_EQ(ParseLenientJson(c.text, &root), c.parses);
  }
}

TEST(LenientJsonTest, IntegerZeroOnlyForIntegersEqualToZero) {
  EXPECT_TRUE(IsJsonIntegerZero(Json::Value(0)));
  EXPECT_TRUE(IsJsonIntegerZero(Json::Value(Json::UInt64(0))));
  EXPECT_FALSE(IsJsonIntegerZero(Json::Value(-1)));
  EXPECT_FALSE(IsJsonIntegerZero(Json::Value(0.0)));
  EXPECT_FALSE(IsJsonIntegerZero(Json::Value("0")));
  EXPECT_FALSE(IsJsonIntegerZero(Json::Value()));
}

}  // namespace
}  // namespace pelmar
