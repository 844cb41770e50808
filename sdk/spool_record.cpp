#include "sdk/spool_record.h"

#include <map>

#include "sdk/envelope.h"

namespace pelmar::vek {

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0.
size_t Utf8SequenceLength(const std::string& s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  size_t n = 0;
  uint32_t cp = 0;
  if (c < 0x80) return 1;
  if ((c & 0xE0) == 0xC0)
    n = 2, cp = c & 0x1F;
  else if ((c & 0xF0) == 0xE0)
    n = 3, cp = c & 0x0F;
  else if ((c & 0xF8) == 0xF0)
    n = 4, cp = c & 0x07;
  else
    return 0;
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    const unsigned char cc = static_cast<unsigned char>(s[i + k]);
    if ((cc & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (cc & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  if ((n == 2 && cp < 0x80) || (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) ||
      cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return n;
}

}  // namespace

std::string JsonQuote(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
      ++i;
    } else if (c < 0x20) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
      ++i;
    } else {
      const size_t n = Utf8SequenceLength(text, i);
      if (n == 0) {
        out += "\xEF\xBF\xBD";
        ++i;
      } else {
        out.append(text, i, n);
        i += n;
      }
    }
  }
  out += '"';
  return out;
}

void SpoolRecord::WriteInt(int field, int value) {
  for (auto& entry : ints_) {
    if (entry.first == field) {
      entry.second = value;
      return;
    }
  }
  ints_.emplace_back(field, value);
}

void SpoolRecord::WriteData(int field, std::string bytes) {
  data_.emplace_back(field, std::move(bytes));
}

void SpoolRecord::WriteEvent(std::string name, int eventId) {
  hasEvent_ = true;
  event_ = std::move(name);
  eventId_ = eventId;
}

bool SpoolRecord::HasProp(const std::string& key) const {
  for (const Prop& p : props_)
    if (p.key == key) return true;
  return false;
}

void SpoolRecord::WriteIntProperty(const std::string& key, int value) {
  if (!HasProp(key)) props_.push_back({key, PropKind::kInt, value, {}});
}

void SpoolRecord::WriteBoolProperty(const std::string& key, bool value) {
  if (!HasProp(key)) props_.push_back({key, PropKind::kBool, value ? 1 : 0, {}});
}

void SpoolRecord::WriteStringProperty(const std::string& key, std::string value) {
  if (!HasProp(key)) props_.push_back({key, PropKind::kString, 0, std::move(value)});
}

std::string SpoolRecord::ToJsonLine(const RecordContext& c) const {
  std::string out = "{\"uid\":" + JsonQuote(c.uid) + ",\"type\":" + std::to_string(type_) +
                    ",\"app_id\":" + JsonQuote(c.appId) + ",\"app\":" + JsonQuote(c.appName) +
                    ",\"mid\":" + JsonQuote(c.mid) + ",\"time\":" + std::to_string(c.timeMs);
  out += ",\"ints\":{";
  for (size_t i = 0; i < ints_.size(); ++i) {
    if (i) out += ',';
    out += "\"" + std::to_string(ints_[i].first) + "\":" + std::to_string(ints_[i].second);
  }
  out += "},\"data\":{";
  // A field written more than once (attached files) becomes an array, in
  // order; written once it stays a single string.
  std::map<int, std::vector<const std::string*>> fields;
  std::vector<int> order;
  for (const auto& [field, bytes] : data_) {
    if (fields[field].empty()) order.push_back(field);
    fields[field].push_back(&bytes);
  }
  for (size_t i = 0; i < order.size(); ++i) {
    if (i) out += ',';
    const auto& values = fields[order[i]];
    out += "\"" + std::to_string(order[i]) + "\":";
    if (values.size() == 1) {
      out += "\"" + Base64Encode(*values[0]) + "\"";
    } else {
      out += '[';
      for (size_t k = 0; k < values.size(); ++k) {
        if (k) out += ',';
        out += "\"" + Base64Encode(*values[k]) + "\"";
      }
      out += ']';
    }
  }
  out += '}';
  // Every record has the same members; records other than events leave the
  // event ones empty.
  out += ",\"event\":" + JsonQuote(event_) + ",\"event_id\":\"" +
         (hasEvent_ ? std::to_string(eventId_) : std::string()) + "\",\"props\":{";
  {
    for (size_t i = 0; i < props_.size(); ++i) {
      if (i) out += ',';
      const Prop& p = props_[i];
      out += JsonQuote(p.key) + ":";
      switch (p.kind) {
        case PropKind::kInt:
          out += std::to_string(p.intValue);
          break;
        case PropKind::kBool:
          out += p.intValue ? "true" : "false";
          break;
        case PropKind::kString:
          out += JsonQuote(p.text);
          break;
      }
    }
    out += '}';
  }
  out += '}';
  return out;
}

}  // namespace pelmar::vek
