#include "services/pkg_info.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace pelmar {
namespace {

TEST(PkgRequestBody, StyledWriterLayoutWithMembersInKeyOrder) {
  EXPECT_EQ(BuildPkgRequestBody("2.1.0.5"),
            "{\n"
            "   \"app_id\" : \"10001061\",\n"
            "   \"seed\" : {\n"
            "      \"dependency\" : \"\",\n"
            "      \"hardware\" : \"\",\n"
            "      \"network\" : \"\",\n"
            "      \"system\" : \"\"\n"
            "   },\n"
            "   \"version\" : \"2.1.0.5\"\n"
            "}\n");
  // No version resource: the fixed fallback.
  EXPECT_NE(BuildPkgRequestBody("").find("\"version\" : \"0.9.0.1\""), std::string::npos);
}

struct EnvelopeCase {
  const char* name;
  std::string body;
  std::string failure;  // "" = opens
  std::string data;
};

class PkgEnvelopeTest : public ::testing::TestWithParam<EnvelopeCase> {};

TEST_P(PkgEnvelopeTest, Opens) {
  const EnvelopeCase& c = GetParam();
  std::string data = "untouched";
  EXPECT_EQ(OpenPkgEnvelope(c.body, &data), c.failure);
  EXPECT_EQ(data, c.failure.empty() ? c.data : "untouched");
}

const EnvelopeCase kEnvelopeCases[] = {
    {"Plain", R"({"code": 0, "message": "success", "data": "abc.def"})", "", "abc.def"},
    {"CodeAsUnsignedZero", R"({"data": "x", "code": 0})", "", "x"},
    // The string value of a number is its decimal text (the payload then fails to open).
    {"DataAsNumber", R"({"code": 0, "data": 12})", "", "12"},
    {"DataNullIsEmpty", R"({"code": 0, "data": null})", "", ""},
    {"CodeAsString", R"({"code": "0", "data": "x"})", "member doesn't exit", ""},
    {"CodeAsReal", R"({"code": 0.0, "data": "x"})", "member doesn't exit", ""},
    {"CodeAsFalse", R"({"code": false, "data": "x"})", "member doesn't exit", ""},
    {"CodeNotZero", R"({"code": 4004, "message": "no package"})", "member doesn't exit", ""},
    // Signed and huge codes are simply not zero (converting them used to throw).
    {"CodeNegative", R"({"code": -1, "data": "x"})", "member doesn't exit", ""},
    {"CodeBeyondInt64", R"({"code": 18446744073709551615, "data": "x"})", "member doesn't exit",
     ""},
    {"CodeMinInt64", R"({"code": -9223372036854775808, "data": "x"})", "member doesn't exit", ""},
    {"NoCode", R"({"data": "x"})", "member doesn't exit", ""},
    {"NoData", R"({"code": 0})", "member doesn't exit", ""},
    {"RootArray", R"([0, "x"])", "member doesn't exit", ""},
    {"RootNumber", "0", "member doesn't exit", ""},
    {"Empty", "", "Json parse error", ""},
    {"Garbage", "<html>404</html>", "Json parse error", ""},
    {"Truncated", R"({"code": 0, "data": ")", "Json parse error", ""},
    // Text after the value is ignored, as the servers' answers have always been read.
    {"TrailingText", R"({"code": 0, "data": "x"} tail)", "", "x"},
    {"TrailingSecondValue", "{\"code\": 0, \"data\": \"x\"}\r\n{\"code\": 1}", "", "x"},
    {"TrailingTextAfterGarbage", "<html> {\"code\": 0}", "Json parse error", ""},
    // Nested past the reader's limit: the reader throws, the answer just fails.
    {"NestedTooDeep", std::string(5000, '[') + std::string(5000, ']'), "Json parse error", ""},
    {"TooLarge", R"({"code": 0, "data": ")" + std::string(kMaxPkgRecordBytes, 'a') + R"("})",
     "Json parse error", ""},
};

INSTANTIATE_TEST_SUITE_P(Table, PkgEnvelopeTest, ::testing::ValuesIn(kEnvelopeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PkgEnvelope, DataOfTheWrongTypeIsAConversionFailure) {
  std::string data = "untouched";
  EXPECT_FALSE(OpenPkgEnvelope(R"({"code": 0, "data": {"a": 1}})", &data).empty());
  EXPECT_EQ(data, "untouched");
}

struct UrlExpect {
  int32_t id;
  std::string url;
  uint32_t rank;
};

struct PayloadCase {
  const char* name = "";
  std::string payload;
  std::string failure;  // "" = parses; "*" = any failure (library's own text)
  std::string packageName, version;
  int64_t size = 0, originSize = 0;
  std::string md5;
  std::vector<UrlExpect> urls;  // in array order (unsorted)
};

PayloadCase Fails(const char* name, std::string payload, std::string failure) {
  PayloadCase c;
  c.name = name;
  c.payload = std::move(payload);
  c.failure = std::move(failure);
  return c;
}

class PkgPayloadTest : public ::testing::TestWithParam<PayloadCase> {};

TEST_P(PkgPayloadTest, Parses) {
  const PayloadCase& c = GetParam();
  PkgRecord record;
  record.packageName = "untouched";
  const std::string failure = ParsePkgPayload(c.payload, &record);
  if (!c.failure.empty()) {
    EXPECT_FALSE(failure.empty());
    if (c.failure != "*") {
      EXPECT_EQ(failure, c.failure);
    }
    EXPECT_EQ(record.packageName, "untouched");  // nothing half-stored
    return;
  }
  ASSERT_EQ(failure, "");
  EXPECT_EQ(record.packageName, c.packageName);
  EXPECT_EQ(record.version, c.version);
  EXPECT_EQ(record.size, c.size);
  EXPECT_EQ(record.originSize, c.originSize);
  EXPECT_EQ(record.md5, c.md5);
  ASSERT_EQ(record.urls.size(), c.urls.size());
  for (size_t i = 0; i < c.urls.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(record.urls[i].id, c.urls[i].id);
    EXPECT_EQ(record.urls[i].url, c.urls[i].url);
    EXPECT_EQ(record.urls[i].rank, c.urls[i].rank);
  }
}

const PayloadCase kPayloadCases[] = {
    {"Full",
     R"({"info": {"package_name": "install", "version": "1.0.0.1", "size": 4096,
         "origin_size": 9000, "md5": "0123456789abcdef0123456789abcdef"},
         "urls": [{"id": 1, "url": "http://a/x", "rank": 10}, {"id": 2, "url": "http://b/x", "rank": 5}]})",
     "",
     "install",
     "1.0.0.1",
     4096,
     9000,
     "0123456789abcdef0123456789abcdef",
     {{1, "http://a/x", 10}, {2, "http://b/x", 5}}},
    {"SizeZeroStringKeepsDefault",
     R"({"info": {"size": "0"}, "urls": []})",
     "",
     "",
     "",
     kDefaultPackageSize,
     kDefaultOriginSize,
     "",
     {}},
    {"SizeZeroNumberKeepsDefault",
     R"({"info": {"size": 0, "origin_size": 0}, "urls": []})",
     "",
     "",
     "",
     kDefaultPackageSize,
     kDefaultOriginSize,
     "",
     {}},
    {"SizesAsNumericStrings",
     R"({"info": {"size": "123", "origin_size": " 77x"}, "urls": []})",
     "",
     "",
     "",
     123,
     77,
     "",
     {}},
    {"SizeBeyond32Bits",
     R"({"info": {"size": 6000000000}, "urls": []})",
     "",
     "",
     "",
     6000000000LL,
     kDefaultOriginSize,
     "",
     {}},
    {"NegativeSizeKeepsDefault",
     R"({"info": {"size": -5, "origin_size": "-1"}, "urls": []})",
     "",
     "",
     "",
     kDefaultPackageSize,
     kDefaultOriginSize,
     "",
     {}},
    {"SizeNotNumericKeepsDefault",
     R"({"info": {"size": "big", "origin_size": true}, "urls": []})",
     "",
     "",
     "",
     kDefaultPackageSize,
     kDefaultOriginSize,
     "",
     {}},
    {"InfoMembersAbsent",
     R"({"info": {}, "urls": [{}]})",
     "",
     "",
     "",
     kDefaultPackageSize,
     kDefaultOriginSize,
     "",
     {{0, "", 0}}},
    {"InfoNull",
     R"({"info": null, "urls": []})",
     "",
     "",
     "",
     kDefaultPackageSize,
     kDefaultOriginSize,
     "",
     {}},
    // Text after the payload's value is ignored, like any answer of the servers.
    {"TrailingTextIgnored",
     R"({"info": {"md5": "ab"}, "urls": [{"id": 7, "url": "http://a/x", "rank": 1}]} trailing)",
     "",
     "",
     "",
     kDefaultPackageSize,
     kDefaultOriginSize,
     "ab",
     {{7, "http://a/x", 1}}},
    {"VersionAsNumberIsItsText",
     R"({"info": {"version": 3}, "urls": []})",
     "",
     "",
     "3",
     kDefaultPackageSize,
     kDefaultOriginSize,
     "",
     {}},
    {"RanksInArrayOrder",
     R"({"info": {}, "urls": [{"id": 1, "rank": 1}, {"id": 2, "rank": 5}, {"id": 3, "rank": 5}, {"id": 4, "rank": 3}]})",
     "",
     "",
     "",
     kDefaultPackageSize,
     kDefaultOriginSize,
     "",
     {{1, "", 1}, {2, "", 5}, {3, "", 5}, {4, "", 3}}},
    Fails("Empty", "", "decrypt data empty"),
    Fails("NotJson", "not json", "parse decrypt data error"),
    Fails("TruncatedJson", R"({"info": {"size": 1}, "urls": [)", "parse decrypt data error"),
    Fails("NoUrls", R"({"info": {"size": 1}})", "member not exist"),
    Fails("NoInfo", R"({"urls": []})", "member not exist"),
    Fails("RootArray", R"([{"info": {}, "urls": []}])", "member not exist"),
    Fails("UrlsNotAnArray", R"({"info": {}, "urls": {"id": 1}})", "member not exist"),
    Fails("UrlsAString", R"({"info": {}, "urls": "http://a/x"})", "member not exist"),
    Fails("InfoAString", R"({"info": "x", "urls": []})", "*"),
    Fails("UrlEntryNotAnObject", R"({"info": {}, "urls": [5]})", "*"),
    Fails("IdAsString", R"({"info": {}, "urls": [{"id": "1"}]})", "*"),
    Fails("NegativeRank", R"({"info": {}, "urls": [{"rank": -1}]})", "*"),
    Fails("UrlAsObject", R"({"info": {}, "urls": [{"url": {}}]})", "*"),
    Fails("SizeAsObject", R"({"info": {"size": {}}, "urls": []})", "*"),
    Fails("Md5AsArray", R"({"info": {"md5": []}, "urls": []})", "*"),
};

INSTANTIATE_TEST_SUITE_P(Table, PkgPayloadTest, ::testing::ValuesIn(kPayloadCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PkgPayload, TooManyUrlsAreRefused) {
  std::string payload = R"({"info": {}, "urls": [)";
  for (size_t i = 0; i <= kMaxPkgUrls; ++i) payload += i ? ",{}" : "{}";
  payload += "]}";
  PkgRecord record;
  EXPECT_EQ(ParsePkgPayload(payload, &record), "too many urls");
  EXPECT_TRUE(record.urls.empty());
}

TEST(PkgPayload, EveryTruncatedPrefixFailsCleanly) {
  const std::string whole = R"({"info": {"package_name": "install", "size": "4096", "md5": "ab"},)"
                            R"( "urls": [{"id": 1, "url": "http://a/x", "rank": 10}]})";
  PkgRecord full;
  ASSERT_EQ(ParsePkgPayload(whole, &full), "");
  for (size_t n = 0; n < whole.size(); ++n) {
    SCOPED_TRACE(n);
    PkgRecord record;
    EXPECT_NE(ParsePkgPayload(std::string_view(whole.data(), n), &record), "");
    EXPECT_TRUE(record.urls.empty());
  }
}

struct SortCase {
  const char* name;
  std::vector<uint32_t> ranks;   // in array order; ids are 1, 2, ...
  std::vector<int32_t> wantIds;  // after sorting
};

class UrlSortTest : public ::testing::TestWithParam<SortCase> {};

TEST_P(UrlSortTest, HighestRankFirstEqualRanksKeepOrder) {
  const SortCase& c = GetParam();
  std::vector<PkgUrlEntry> urls;
  for (size_t i = 0; i < c.ranks.size(); ++i)
    urls.push_back({static_cast<int32_t>(i + 1), "u" + std::to_string(i + 1), c.ranks[i]});
  SortUrlsByRank(&urls);
  std::vector<int32_t> ids;
  for (const PkgUrlEntry& u : urls) ids.push_back(u.id);
  EXPECT_EQ(ids, c.wantIds);
}

const SortCase kSortCases[] = {
    {"OneFiveFiveThree", {1, 5, 5, 3}, {2, 3, 4, 1}},
    {"Empty", {}, {}},
    {"Single", {7}, {1}},
    {"AllEqualKeepArrayOrder", {2, 2, 2}, {1, 2, 3}},
    {"AlreadyDescending", {9, 4, 1}, {1, 2, 3}},
    {"Ascending", {1, 2, 3}, {3, 2, 1}},
    {"UnsignedExtremes", {0, 4294967295u, 0, 4294967295u}, {2, 4, 1, 3}},
};

INSTANTIATE_TEST_SUITE_P(Table, UrlSortTest, ::testing::ValuesIn(kSortCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PkgSizeFromText, ReadsLikeLldAndKeepsTheFallbackForNothingUseful) {
  const struct {
    const char* text;
    int64_t want;
  } cases[] = {
      {"48560128", 48560128},
      {"  12", 12},
      {"+12", 12},
      {"12abc", 12},
      {"12.9", 12},
      {"0", -1},
      {"", -1},
      {"abc", -1},
      {"-3", -1},
      {"99999999999999999999999", INT64_MAX},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(PkgSizeFromText(c.text, -1), c.want);
  }
}

TEST(PkgPayload, CarriesTheSignedReleaseBesideInfoAndUrls) {
  const std::string statement = "pelmar-release=1\nproduct=morvantile\n";
  PkgRecord record;
  ASSERT_EQ(ParsePkgPayload(R"({"info": {"md5": "ab"}, "urls": [],
                                 "release_statement": "pelmar-release=1\nproduct=morvantile\n",
                                 "release_signature": "0a1b"})",
                            &record),
            "");
  EXPECT_EQ(record.releaseStatement, statement);
  EXPECT_EQ(record.releaseSignature, "0a1b");
  EXPECT_EQ(record.md5, "ab");

  // Without them, or with values that are no strings, a record has none.
  const char* const without[] = {
      R"({"info": {}, "urls": []})",
      R"({"info": {}, "urls": [], "release_statement": "x"})",
      R"({"info": {}, "urls": [], "release_statement": 1, "release_signature": "ab"})",
      R"({"info": {}, "urls": [], "release_statement": "x", "release_signature": ["ab"]})",
  };
  for (const char* payload : without) {
    SCOPED_TRACE(payload);
    PkgRecord r;
    ASSERT_EQ(ParsePkgPayload(payload, &r), "");
    EXPECT_EQ(r.releaseStatement, "");
    EXPECT_EQ(r.releaseSignature, "");
  }
}

}  // namespace
}  // namespace pelmar
