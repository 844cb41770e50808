#include "base/release_statement.h"

namespace pelmar {
namespace {

constexpr std::string_view kSignatureKey = "signature=";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal without sign or leading zero, 1..max, at most `max_digits` long.
bool ParseCount(std::string_view text, size_t max_digits, int64_t max, int64_t* out) {
  if (text.empty() || text.size() > max_digits || text[0] == '0') return false;
  int64_t value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return false;
    value = value * 10 + (c - '0');  // at most 10 digits: no overflow
  }
  if (value > max) return false;
  *out = value;
  return true;
}

bool IsProductChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '.' || c == '_' ||
         c == '-';
}

int KeyIndex(std::string_view key) {
  for (size_t i = 0; i < kReleaseLineCount; ++i) {
    if (key == kReleaseKeys[i]) return static_cast<int>(i);
  }
  return -1;
}

bool ParseValue(size_t index, std::string_view value, ReleaseStatement* s) {
  switch (index) {
    case 0:
      if (value != "1") return false;
      s->format = kReleaseFormatVersion;
      return true;
    case 1:
      if (value.empty() || value.size() > kMaxReleaseProductBytes) return false;
      for (char c : value) {
        if (!IsProductChar(c)) return false;
      }
      s->product = std::string(value);
      return true;
    case 2:
      if (!ParseDottedVersion(value, &s->versionParts)) return false;
      s->version = std::string(value);
      return true;
    case 3:
      return ParseCount(value, 10, kMaxReleaseSize, &s->size);
    case 4:
      return ParseLowerHex(value, s->sha256.data(), s->sha256.size());
    case 5:
      return ParseCount(value, 10, kMaxReleaseTime, &s->signedAt);
    case 6:
      if (!ParseCount(value, 10, kMaxReleaseTime, &s->expiresAt)) return false;
      return s->expiresAt > s->signedAt &&
             s->expiresAt - s->signedAt <= kMaxReleaseValiditySeconds;
    default:
      return false;
  }
}

}  // namespace

ReleaseParseError ParseReleaseStatement(std::string_view text, ReleaseStatement* out) {
  if (text.size() > kMaxReleaseStatementBytes) return ReleaseParseError::kTooLong;
  if (text.empty()) return ReleaseParseError::kMissingKey;
  if (text.back() != '\n') return ReleaseParseError::kBadLine;
  for (char c : text) {
    if (c != '\n' && (c < 0x20 || c > 0x7E)) return ReleaseParseError::kBadLine;
  }
  ReleaseStatement s;
  bool seen[kReleaseLineCount] = {};
  size_t line = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);  // found: the text ends with LF
    const std::string_view whole = text.substr(at, end - at);
    at = end + 1;
    const size_t eq = whole.find('=');
    if (eq == std::string_view::npos || eq == 0) return ReleaseParseError::kBadLine;
    const std::string_view key = whole.substr(0, eq);
    const int index = KeyIndex(key);
    if (index < 0) return ReleaseParseError::kUnknownKey;
    if (seen[index]) return ReleaseParseError::kDuplicateKey;
    if (line >= kReleaseLineCount || static_cast<size_t>(index) != line) {
      return ReleaseParseError::kOutOfOrder;
    }
    if (!ParseValue(line, whole.substr(eq + 1), &s)) return ReleaseParseError::kBadValue;
    seen[index] = true;
    ++line;
  }
  if (line != kReleaseLineCount) return ReleaseParseError::kMissingKey;
  *out = std::move(s);
  return ReleaseParseError::kNone;
}

const char* ReleaseParseErrorName(ReleaseParseError error) {
  switch (error) {
    case ReleaseParseError::kNone:
      return "none";
    case ReleaseParseError::kTooLong:
      return "too long";
    case ReleaseParseError::kBadLine:
      return "bad line";
    case ReleaseParseError::kUnknownKey:
      return "unknown key";
    case ReleaseParseError::kDuplicateKey:
      return "duplicate key";
    case ReleaseParseError::kOutOfOrder:
      return "key out of order";
    case ReleaseParseError::kMissingKey:
      return "missing key";
    case ReleaseParseError::kBadValue:
      return "bad value";
  }
  return "?";
}

std::string FormatReleaseStatement(const ReleaseStatement& s) {
  std::string text;
  text += std::string(kReleaseKeys[0]) + "=" + std::to_string(s.format) + "\n";
  text += std::string(kReleaseKeys[1]) + "=" + s.product + "\n";
  text += std::string(kReleaseKeys[2]) + "=" + s.version + "\n";
  text += std::string(kReleaseKeys[3]) + "=" + std::to_string(s.size) + "\n";
  text += std::string(kReleaseKeys[4]) + "=" + LowerHex(s.sha256.data(), s.sha256.size()) + "\n";
  text += std::string(kReleaseKeys[5]) + "=" + std::to_string(s.signedAt) + "\n";
  text += std::string(kReleaseKeys[6]) + "=" + std::to_string(s.expiresAt) + "\n";
  return text;
}

bool SplitDetachedRelease(std::string_view text, SignedReleaseText* out) {
  if (text.size() > kMaxSignedReleaseBytes || text.size() < kReleaseSignatureLineBytes) {
    return false;
  }
  const size_t at = text.size() - kReleaseSignatureLineBytes;
  const std::string_view last = text.substr(at);
  if (last.substr(0, kSignatureKey.size()) != kSignatureKey || last.back() != '\n') return false;
  // The signature line starts a line of its own.
  if (at > 0 && text[at - 1] != '\n') return false;
  SignedReleaseText split;
  split.statement = std::string(text.substr(0, at));
  split.signatureHex =
      std::string(last.substr(kSignatureKey.size(), kReleaseSignatureLineBytes - 11));
  *out = std::move(split);
  return true;
}

std::string JoinDetachedRelease(const SignedReleaseText& release) {
  return release.statement + std::string(kSignatureKey) + release.signatureHex + "\n";
}

bool ParseLowerHex(std::string_view hex, uint8_t* out, size_t size) {
  if (hex.size() != size * 2) return false;
  for (size_t i = 0; i < hex.size(); ++i) {
    const char c = hex[i];
    int v;
    if (IsDigit(c)) {
      v = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      v = c - 'a' + 10;
    } else {
      return false;
    }
    if (i % 2 == 0) {
      out[i / 2] = static_cast<uint8_t>(v << 4);
    } else {
      out[i / 2] = static_cast<uint8_t>(out[i / 2] | v);
    }
  }
  return true;
}

std::string LowerHex(const uint8_t* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text(size * 2, '0');
  for (size_t i = 0; i < size; ++i) {
    text[2 * i] = kDigits[bytes[i] >> 4];
    text[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  return text;
}

bool ParseDottedVersion(std::string_view text, std::vector<uint32_t>* parts) {
  std::vector<uint32_t> read;
  size_t at = 0;
  for (;;) {
    const size_t dot = text.find('.', at);
    const std::string_view part = text.substr(at, dot == std::string_view::npos ? dot : dot - at);
    if (part.empty() || part.size() > 5 || (part.size() > 1 && part[0] == '0')) return false;
    uint32_t value = 0;
    for (char c : part) {
      if (!IsDigit(c)) return false;
      value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value > kMaxReleaseVersionPart || read.size() == kMaxReleaseVersionParts) return false;
    read.push_back(value);
    if (dot == std::string_view::npos) break;
    at = dot + 1;
  }
  *parts = std::move(read);
  return true;
}

int CompareVersionParts(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  const size_t n = a.size() > b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const uint32_t x = i < a.size() ? a[i] : 0;
    const uint32_t y = i < b.size() ? b[i] : 0;
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

}  // namespace pelmar
