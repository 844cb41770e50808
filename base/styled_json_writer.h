#pragma once

#include <json/json.h>

#include <string>

namespace pelmar {

// Writes a Json::Value in the layout the maker's servers have always been
// sent (three-space indent, "name" : value, members in key order, a short
// array of plain values on one line), with the text built in a string: the
// library's own writers sit in one object with its stream writers, which
// would link the C++ stream and locale code into every Windows module.
// Text is escaped for 7-bit transport: control characters and every
// non-ASCII character as \uXXXX (UTF-16 pairs above U+FFFF); a byte that
// is not part of well-formed UTF-8 becomes U+FFFD. Comments are not written.
class StyledJsonWriter {
 public:
  static std::string Write(const Json::Value& root);

 private:
  explicit StyledJsonWriter(std::string* out) : out_(out) {}

  void WriteValue(const Json::Value& value);
  void WriteObject(const Json::Value& value);
  void WriteArray(const Json::Value& value);
  // The one-line form of an array, or "" when it takes several lines.
  static std::string OneLineArray(const Json::Value& value);
  static std::string Scalar(const Json::Value& value);
  // A new line at the current indent, unless the line is already indented.
  void Indent();

  std::string* out_;
  std::string indent_;
};

// `text` as a quoted JSON string, escaped as StyledJsonWriter writes it.
std::string QuoteJsonText(const std::string& text);

}  // namespace pelmar
