#include "base/styled_json_writer.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <memory>
#include <string>

namespace pelmar {
namespace {

Json::Value Parse(const std::string& text) {
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value value;
  std::string errors;
  EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &value, &errors))
      << text << errors;
  return value;
}

std::string LibraryStyled(const Json::Value& value) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  Json::StyledWriter writer;
  return writer.write(value);
#pragma GCC diagnostic pop
}

// Documents whose layout must be byte for byte the library's styled writer's
// (what the servers have always been sent), and which read back equal.
const char* const kDocuments[] = {
    "null",
    "true",
    "false",
    "0",
    "-9223372036854775808",
    "18446744073709551615",
    "1.5",
    "-0.25",
    "1e300",
    "3.0",
    "\"\"",
    "\"plain\"",
    // Escapes: quote, backslash, the short forms, other control bytes, a slash kept.
    "\"a\\\"b\\\\c\\b\\f\\n\\r\\t\\u0001\\u001f/\"",
    // Non-ASCII: two-, three- and four-byte UTF-8, a byte 0x7f kept.
    "\"\xc3\xa9 \xe5\xae\x89\xe8\xa3\x85 \xf0\x9f\x98\x80 \x7f\"",
    "\"nul\\u0000inside\"",
    "{}",
    "[]",
    "{\"a\":{}}",
    "{\"a\":[]}",
    "[[],{}]",
    // Members in key order, nested objects open on the member's line.
    "{\"version\":\"2\",\"app_id\":\"1\",\"seed\":{\"system\":\"\",\"dependency\":\"\"}}",
    // Short arrays of plain values on one line, at any depth.
    "[1,2,3]",
    "{\"list\":[true,null,\"x\",1.25]}",
    // Long or nested arrays one item a line.
    "[\"aaaaaaaaaaaaaaaaaaaa\",\"bbbbbbbbbbbbbbbbbbbb\",\"cccccccccccccccccccc\",\"ddd\"]",
    "[[1,2],[3]]",
    "[{\"a\":1},{\"b\":[1,{\"c\":2}]}]",
    "[0,1,2,3,4,5,6,7,8,9,0,1,2,3,4,5,6,7,8,9,0,1,2,3,4,5]",
    "{\"a\":[[1],{\"b\":[]}],\"c\":{\"d\":{\"e\":[1,2]}}}",
};

TEST(StyledJsonWriterTest, SameLayoutAsTheLibraryAndReadsBackEqual) {
  for (const char* document : kDocuments) {
    SCOPED_TRACE(document);
    const Json::Value value = Parse(document);
    const std::string written = StyledJsonWriter::Write(value);
    EXPECT_EQ(written, LibraryStyled(value));
    EXPECT_EQ(Parse(written), value);
  }
}

TEST(StyledJsonWriterTest, PackageRequestLayout) {
  Json::Value root(Json::objectValue);
  root["version"] = "2.1.0.5";
  root["app_id"] = "10001061";
  root["seed"]["hardware"] = "";
  root["seed"]["dependency"] = "";
  EXPECT_EQ(StyledJsonWriter::Write(root),
            "{\n"
            "   \"app_id\" : \"10001061\",\n"
            "   \"seed\" : {\n"
            "      \"dependency\" : \"\",\n"
            "      \"hardware\" : \"\"\n"
            "   },\n"
            "   \"version\" : \"2.1.0.5\"\n"
            "}\n");
}

struct QuoteCase {
  const char* name;
  std::string text;
  const char* quoted;
};

// Bytes that are not well-formed UTF-8 each become U+FFFD and the writer
// goes on with the next byte; nothing is dropped or read past the end.
const QuoteCase kQuoteCases[] = {
    {"lone continuation byte", "a\x80z", "\"a\\ufffdz\""},
    {"lead byte at the end", "a\xc3", "\"a\\ufffd\""},
    {"three-byte form cut short", "\xe5\xae", "\"\\ufffd\\ufffd\""},
    {"lead byte then ASCII", "\xc3(", "\"\\ufffd(\""},
    {"overlong slash", "\xc0\xaf", "\"\\ufffd\\ufffd\""},
    {"encoded surrogate", "\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},
    {"beyond U+10FFFF", "\xf4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},
    {"byte 0xff", "\xff", "\"\\ufffd\""},
    {"largest code point", "\xf4\x8f\xbf\xbf", "\"\\udbff\\udfff\""},
    {"embedded NUL", std::string("a\0b", 3), "\"a\\u0000b\""},
};

TEST(StyledJsonWriterTest, QuotesMalformedUtf8AsReplacementCharacters) {
  for (const QuoteCase& c : kQuoteCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(QuoteJsonText(c.text), c.quoted);
    EXPECT_EQ(StyledJsonWriter::Write(Json::Value(c.text)), std::string(c.quoted) + "\n");
  }
}

}  // namespace
}  // namespace pelmar
