#include "base/md5.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace pelmar {
namespace {

inline uint32_t Rotl(uint32_t x, int c) { return (x << c) | (x >> (32 - c)); }

inline uint32_t LoadLittleEndian(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The four round functions of RFC 1321, in the forms with the fewest
// operations (F and G as selects).
inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return z ^ (x & (y ^ z)); }
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return y ^ (z & (x ^ y)); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

// One step: a = b + ((a + f(b, c, d) + word + constant) <<< shift). Every
// step is written out below (the checker's hot loop: a generic loop with
// computed indices runs at about half the speed).
template <uint32_t (*Fn)(uint32_t, uint32_t, uint32_t)>
inline void Step(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t word, uint32_t k,
                 int shift) {
  a = b + Rotl(a + Fn(b, c, d) + word + k, shift);
}

std::string HexLower(const uint8_t* bytes, size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text(count * 2, '0');
  for (size_t i = 0; i < count; ++i) {
    text[2 * i] = kDigits[bytes[i] >> 4];
    text[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  return text;
}

}  // namespace

CMd5::CMd5() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476}, buffer_{} {}

void CMd5::Transform(const uint8_t block[64]) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i) m[i] = LoadLittleEndian(block + 4 * i);
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];

  Step<F>(a, b, c, d, m[0], 0xd76aa478, 7);
  Step<F>(d, a, b, c, m[1], 0xe8c7b756, 12);
  Step<F>(c, d, a, b, m[2], 0x242070db, 17);
  Step<F>(b, c, d, a, m[3], 0xc1bdceee, 22);
  Step<F>(a, b, c, d, m[4], 0xf57c0faf, 7);
  Step<F>(d, a, b, c, m[5], 0x4787c62a, 12);
  Step<F>(c, d, a, b, m[6], 0xa8304613, 17);
  Step<F>(b, c, d, a, m[7], 0xfd469501, 22);
  Step<F>(a, b, c, d, m[8], 0x698098d8, 7);
  Step<F>(d, a, b, c, m[9], 0x8b44f7af, 12);
  Step<F>(c, d, a, b, m[10], 0xffff5bb1, 17);
  Step<F>(b, c, d, a, m[11], 0x895cd7be, 22);
  Step<F>(a, b, c, d, m[12], 0x6b901122, 7);
  Step<F>(d, a, b, c, m[13], 0xfd987193, 12);
  Step<F>(c, d, a, b, m[14], 0xa679438e, 17);
  Step<F>(b, c, d, a, m[15], 0x49b40821, 22);

  Step<G>(a, b, c, d, m[1], 0xf61e2562, 5);
  Step<G>(d, a, b, c, m[6], 0xc040b340, 9);
  Step<G>(c, d, a, b, m[11], 0x265e5a51, 14);
  Step<G>(b, c, d, a, m[0], 0xe9b6c7aa, 20);
  Step<G>(a, b, c, d, m[5], 0xd62f105d, 5);
  Step<G>(d, a, b, c, m[10], 0x02441453, 9);
  Step<G>(c, d, a, b, m[15], 0xd8a1e681, 14);
  Step<G>(b, c, d, a, m[4], 0xe7d3fbc8, 20);
  Step<G>(a, b, c, d, m[9], 0x21e1cde6, 5);
  Step<G>(d, a, b, c, m[14], 0xc33707d6, 9);
  Step<G>(c, d, a, b, m[3], 0xf4d50d87, 14);
  Step<G>(b, c, d, a, m[8], 0x455a14ed, 20);
  Step<G>(a, b, c, d, m[13], 0xa9e3e905, 5);
  Step<G>(d, a, b, c, m[2], 0xfcefa3f8, 9);
  Step<G>(c, d, a, b, m[7], 0x676f02d9, 14);
  Step<G>(b, c, d, a, m[12], 0x8d2a4c8a, 20);

  Step<H>(a, b, c, d, m[5], 0xfffa3942, 4);
  Step<H>(d, a, b, c, m[8], 0x8771f681, 11);
  Step<H>(c, d, a, b, m[11], 0x6d9d6122, 16);
  Step<H>(b, c, d, a, m[14], 0xfde5380c, 23);
  Step<H>(a, b, c, d, m[1], 0xa4beea44, 4);
  Step<H>(d, a, b, c, m[4], 0x4bdecfa9, 11);
  Step<H>(c, d, a, b, m[7], 0xf6bb4b60, 16);
  Step<H>(b, c, d, a, m[10], 0xbebfbc70, 23);
  Step<H>(a, b, c, d, m[13], 0x289b7ec6, 4);
  Step<H>(d, a, b, c, m[0], 0xeaa127fa, 11);
  Step<H>(c, d, a, b, m[3], 0xd4ef3085, 16);
  Step<H>(b, c, d, a, m[6], 0x04881d05, 23);
  Step<H>(a, b, c, d, m[9], 0xd9d4d039, 4);
  Step<H>(d, a, b, c, m[12], 0xe6db99e5, 11);
  Step<H>(c, d, a, b, m[15], 0x1fa27cf8, 16);
  Step<H>(b, c, d, a, m[2], 0xc4ac5665, 23);

  Step<I>(a, b, c, d, m[0], 0xf4292244, 6);
  Step<I>(d, a, b, c, m[7], 0x432aff97, 10);
  Step<I>(c, d, a, b, m[14], 0xab9423a7, 15);
  Step<I>(b, c, d, a, m[5], 0xfc93a039, 21);
  Step<I>(a, b, c, d, m[12], 0x655b59c3, 6);
  Step<I>(d, a, b, c, m[3], 0x8f0ccc92, 10);
  Step<I>(c, d, a, b, m[10], 0xffeff47d, 15);
  Step<I>(b, c, d, a, m[1], 0x85845dd1, 21);
  Step<I>(a, b, c, d, m[8], 0x6fa87e4f, 6);
  Step<I>(d, a, b, c, m[15], 0xfe2ce6e0, 10);
  Step<I>(c, d, a, b, m[6], 0xa3014314, 15);
  Step<I>(b, c, d, a, m[13], 0x4e0811a1, 21);
  Step<I>(a, b, c, d, m[4], 0xf7537e82, 6);
  Step<I>(d, a, b, c, m[11], 0xbd3af235, 10);
  Step<I>(c, d, a, b, m[2], 0x2ad7d2bb, 15);
  Step<I>(b, c, d, a, m[9], 0xeb86d391, 21);

  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void CMd5::Update(const void* data, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  bit_count_ += static_cast<uint64_t>(length) * 8;
  // Top up a partly filled block first; whole blocks are then hashed straight
  // from the caller's bytes, without a copy.
  if (buffered_ > 0) {
    const size_t take = length < 64 - buffered_ ? length : 64 - buffered_;
    std::memcpy(buffer_ + buffered_, bytes, take);
    buffered_ += take;
    bytes += take;
    length -= take;
    if (buffered_ < 64) return;
    Transform(buffer_);
    buffered_ = 0;
  }
  for (; length >= 64; bytes += 64, length -= 64) Transform(bytes);
  std::memcpy(buffer_, bytes, length);
  buffered_ = length;
}

void CMd5::Final(uint8_t digest[16]) {
  const uint64_t bits = bit_count_;
  static const uint8_t kPad[64] = {0x80};
  const size_t pad = buffered_ < 56 ? 56 - buffered_ : 120 - buffered_;
  Update(kPad, pad);
  uint8_t length_bytes[8];
  for (int i = 0; i < 8; ++i) length_bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
  Update(length_bytes, 8);
  for (int i = 0; i < 4; ++i) {
    for (int k = 0; k < 4; ++k) digest[4 * i + k] = static_cast<uint8_t>(state_[i] >> (8 * k));
  }
}

std::string CMd5::FinalText() {
  uint8_t digest[16];
  Final(digest);
  return HexLower(digest, sizeof digest);
}

std::string Md5Text(const void* data, int64_t length) {
  if (data == nullptr || length <= 0) return std::string();
  CMd5 md5;
  md5.Update(data, static_cast<size_t>(length));
  return md5.FinalText();
}

std::string Md5OfFile(const std::wstring& path) {
  std::FILE* file = md5_internal::OpenFileForMd5(path);
  if (file == nullptr) return std::string();
  // Our pieces are large: the stream's own buffer would only add a copy.
  std::setvbuf(file, nullptr, _IONBF, 0);
  std::string result;
  // The length found by seeking to the end decides emptiness; a file that
  // cannot be measured is treated like an unreadable one.
  if (md5_internal::SeekEndForMd5(file) > 0 && std::fseek(file, 0, SEEK_SET) == 0) {
    CMd5 md5;
    std::vector<uint8_t> piece(kMd5FilePiece);
    bool failed = false;
    for (;;) {
      const size_t got = std::fread(piece.data(), 1, piece.size(), file);
      if (got > 0) md5.Update(piece.data(), got);
      if (got < piece.size()) {
        failed = std::ferror(file) != 0;
        break;
      }
    }
    // A read error half-way would give the digest of a prefix: report nothing.
    if (!failed) result = md5.FinalText();
  }
  std::fclose(file);
  return result;
}

}  // namespace pelmar
