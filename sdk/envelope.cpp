#include "sdk/envelope.h"

#include "sdk/hmac_sha256.h"

namespace pelmar::vek {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

int HexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;  // upper case is not what we send; strict
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = (uint32_t(uint8_t(bytes[i])) << 16) |
                       (uint32_t(uint8_t(bytes[i + 1])) << 8) | uint8_t(bytes[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const size_t rest = bytes.size() - i;
  if (rest == 1) {
    const uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (rest == 2) {
    const uint32_t v = (uint32_t(uint8_t(bytes[i])) << 16) | (uint32_t(uint8_t(bytes[i + 1])) << 8);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

bool Base64Decode(std::string_view text, std::string* out) {
  if (text.size() % 4 != 0) return false;
  std::string result;
  result.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      const unsigned char c = static_cast<unsigned char>(text[i + k]);
      if (c == '=' && last && k >= 2) {
        v[k] = 0;
        ++pad;
        continue;
      }
      if (pad) return false;  // data after padding
      v[k] = Base64Value(c);
      if (v[k] < 0) return false;
    }
    const uint32_t bits =
        (uint32_t(v[0]) << 18) | (uint32_t(v[1]) << 12) | (uint32_t(v[2]) << 6) | uint32_t(v[3]);
    result += char((bits >> 16) & 0xff);
    if (pad < 2) result += char((bits >> 8) & 0xff);
    if (pad < 1) result += char(bits & 0xff);
    // Canonical form only: the bits the padding hides must be zero.
    if ((pad == 2 && (bits & 0xffff)) || (pad == 1 && (bits & 0xff))) return false;
  }
  *out = std::move(result);
  return true;
}

std::string HexLower(const void* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  std::string out;
  out.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[p[i] >> 4];
    out += kDigits[p[i] & 15];
  }
  return out;
}

std::string Seal(std::string_view key, std::string_view payload) {
  const std::string text = Base64Encode(payload);
  const Digest256 mac = HmacSha256(key, text);
  return text + "." + HexLower(mac.data(), mac.size());
}

bool Open(std::string_view key, std::string_view sealed, std::string* payload) {
  if (sealed.size() > kMaxSealedSize || sealed.size() < kMacHexSize + 1) return false;
  const size_t dot = sealed.size() - kMacHexSize - 1;
  if (sealed[dot] != '.') return false;
  const std::string_view text = sealed.substr(0, dot);
  const std::string_view macHex = sealed.substr(dot + 1);
  uint8_t given[32];
  for (size_t i = 0; i < 32; ++i) {
    const int hi = HexValue(static_cast<unsigned char>(macHex[2 * i]));
    const int lo = HexValue(static_cast<unsigned char>(macHex[2 * i + 1]));
    if (hi < 0 || lo < 0) return false;
    given[i] = uint8_t(hi << 4 | lo);
  }
  const Digest256 expected = HmacSha256(key, text);
  uint8_t diff = 0;
  for (size_t i = 0; i < 32; ++i) diff |= uint8_t(given[i] ^ expected[i]);
  if (diff != 0) return false;
  return Base64Decode(text, payload);
}

}  // namespace pelmar::vek
