#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace pelmar {

// MD5 digest (RFC 1321), fed in pieces. Used to check downloaded setup
// programs against the package digest and to hash identifiers for analytics.
class CMd5 {
 public:
  CMd5();
  void Update(const void* data, size_t length);
  // Ends the digest; the object must not be fed afterwards.
  void Final(uint8_t digest[16]);
  // 32 lower-case hexadecimal characters of the final digest.
  std::string FinalText();

 private:
  void Transform(const uint8_t block[64]);

  uint32_t state_[4];
  uint64_t bit_count_ = 0;
  uint8_t buffer_[64];
  size_t buffered_ = 0;
};

// Digest of `length` bytes as 32 lower-case hexadecimal characters; the empty
// text (not the digest of nothing) when data is null or length is 0 or less.
std::string Md5Text(const void* data, int64_t length);
inline std::string Md5Text(std::string_view text) {
  return Md5Text(text.data(), static_cast<int64_t>(text.size()));
}

// Digest of a file's bytes, read from the start in pieces of at most
// kMd5FilePiece bytes (large enough that a read costs less than hashing it).
// The empty text when the file cannot be opened for reading or is empty.
inline constexpr size_t kMd5FilePiece = 64 * 1024;
std::string Md5OfFile(const std::wstring& path);

namespace md5_internal {
// Platform bodies (md5_win.cpp / md5_posix.cpp): opening a wide path for
// binary reading, and its length by a 64-bit seek to the end (-1 on failure).
std::FILE* OpenFileForMd5(const std::wstring& path);
int64_t SeekEndForMd5(std::FILE* file);
}  // namespace md5_internal

}  // namespace pelmar
