#include "base/styled_json_writer.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace pelmar {

namespace {

constexpr char kIndent[] = "   ";
// An array of plain values is written on one line while it stays shorter
// than this (the margin the servers' readers were written against).
constexpr size_t kRightMargin = 74;
constexpr uint32_t kReplacement = 0xFFFD;

void AppendEscape(std::string* out, uint32_t unit) {
  static constexpr char kHex[] = "0123456789abcdef";
  char text[7] = {'\\',
                  'u',
                  kHex[(unit >> 12) & 0xF],
                  kHex[(unit >> 8) & 0xF],
                  kHex[(unit >> 4) & 0xF],
                  kHex[unit & 0xF],
                  '\0'};
  out->append(text, 6);
}

// Decodes one UTF-8 sequence at text[*i], advancing *i past it; a malformed
// sequence (bad lead or continuation byte, overlong form, surrogate, beyond
// U+10FFFF, cut short) yields U+FFFD and advances one byte.
uint32_t NextCodePoint(const std::string& text, size_t* i) {
  const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char lead = byte(*i);
  size_t length = 0;
  uint32_t cp = 0;
  uint32_t smallest = 0;
  if (lead >= 0xC0 && lead < 0xE0) {
    length = 2, cp = lead & 0x1Fu, smallest = 0x80;
  } else if (lead >= 0xE0 && lead < 0xF0) {
    length = 3, cp = lead & 0x0Fu, smallest = 0x800;
  } else if (lead >= 0xF0 && lead < 0xF5) {
    length = 4, cp = lead & 0x07u, smallest = 0x10000;
  }
  if (length == 0 || text.size() - *i < length) {
    ++*i;
    return kReplacement;
  }
  for (size_t k = 1; k < length; ++k) {
    if ((byte(*i + k) & 0xC0) != 0x80) {
      ++*i;
      return kReplacement;
    }
    cp = (cp << 6) | (byte(*i + k) & 0x3Fu);
  }
  if (cp < smallest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++*i;
    return kReplacement;
  }
  *i += length;
  return cp;
}

std::string RealText(double value) {
  if (std::isnan(value)) return "null";
  if (std::isinf(value)) return value < 0 ? "-1e+9999" : "1e+9999";
  char buffer[40];
  const int length = std::snprintf(buffer, sizeof buffer, "%.17g", value);
  std::string text(buffer, length > 0 ? static_cast<size_t>(length) : 0);
  for (char& c : text) {
    if (c == ',') c = '.';  // a C locale with a decimal comma
  }
  // Keeps a real a real for the reader on the other side.
  if (text.find_first_of(".e") == std::string::npos) text += ".0";
  return text;
}

}  // namespace

std::string QuoteJsonText(const std::string& text) {
  std::string out = "\"";
  out.reserve(text.size() + 2);
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      ++i;
      switch (c) {
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '\b':
          out += "\\b";
          break;
        case '\f':
          out += "\\f";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        default:
          if (c < 0x20) {
            AppendEscape(&out, c);
          } else {
            out += static_cast<char>(c);
          }
      }
      continue;
    }
    const uint32_t cp = NextCodePoint(text, &i);
    if (cp < 0x10000) {
      AppendEscape(&out, cp);
    } else {
      AppendEscape(&out, 0xD800 + ((cp - 0x10000) >> 10));
      AppendEscape(&out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
  out += '"';
  return out;
}

std::string StyledJsonWriter::Write(const Json::Value& root) {
  std::string out;
  StyledJsonWriter writer(&out);
  writer.WriteValue(root);
  out += '\n';
  return out;
}

std::string StyledJsonWriter::Scalar(const Json::Value& value) {
  switch (value.type()) {
    case Json::intValue:
      return std::to_string(value.asLargestInt());
    case Json::uintValue:
      return std::to_string(value.asLargestUInt());
    case Json::realValue:
      return RealText(value.asDouble());
    case Json::stringValue: {
      const char* begin = nullptr;
      const char* end = nullptr;
      return value.getString(&begin, &end) ? QuoteJsonText(std::string(begin, end)) : "\"\"";
    }
    case Json::booleanValue:
      return value.asBool() ? "true" : "false";
    default:
      return "null";
  }
}

void StyledJsonWriter::Indent() {
  if (!out_->empty()) {
    // After "name" : and after an array's indent the value goes on the same line.
    if (out_->back() == ' ') return;
    *out_ += '\n';
  }
  *out_ += indent_;
}

void StyledJsonWriter::WriteValue(const Json::Value& value) {
  if (value.isObject()) {
    WriteObject(value);
  } else if (value.isArray()) {
    WriteArray(value);
  } else {
    *out_ += Scalar(value);
  }
}

void StyledJsonWriter::WriteObject(const Json::Value& value) {
  if (value.empty()) {
    *out_ += "{}";
    return;
  }
  Indent();
  *out_ += '{';
  indent_ += kIndent;
  bool first = true;
  for (auto it = value.begin(); it != value.end(); ++it) {
    if (!first) *out_ += ',';
    first = false;
    Indent();
    *out_ += QuoteJsonText(it.name()) + " : ";
    WriteValue(*it);
  }
  indent_.resize(indent_.size() - (sizeof kIndent - 1));
  Indent();
  *out_ += '}';
}

void StyledJsonWriter::WriteArray(const Json::Value& value) {
  if (value.empty()) {
    *out_ += "[]";
    return;
  }
  const std::string line = OneLineArray(value);
  if (!line.empty()) {
    *out_ += line;
    return;
  }
  Indent();
  *out_ += '[';
  indent_ += kIndent;
  for (Json::ArrayIndex i = 0; i < value.size(); ++i) {
    if (i > 0) *out_ += ',';
    Indent();
    WriteValue(value[i]);
  }
  indent_.resize(indent_.size() - (sizeof kIndent - 1));
  Indent();
  *out_ += ']';
}

std::string StyledJsonWriter::OneLineArray(const Json::Value& value) {
  if (value.size() * 3 >= kRightMargin) return {};
  std::string line = "[ ";
  for (Json::ArrayIndex i = 0; i < value.size(); ++i) {
    const Json::Value& item = value[i];
    if ((item.isArray() || item.isObject()) && !item.empty()) return {};
    if (i > 0) line += ", ";
    line += item.isArray() ? "[]" : item.isObject() ? "{}" : Scalar(item);
  }
  line += " ]";
  return line.size() < kRightMargin ? line : std::string();
}

}  // namespace pelmar
