#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pelmar {

// A size line is read up to this many bytes (eight hex digits and CR LF); a
// longer line is an error, so a peer cannot make us buffer a line forever.
inline constexpr size_t kMaxChunkSizeLineBytes = 10;
// A response body handled in memory never grows past this. Our server records
// and pictures are a few hundred kilobytes; the setup program is downloaded to
// a file by other code. Keeps a peer from making us allocate without bound.
inline constexpr size_t kMaxHttpBodyBytes = 64u * 1024 * 1024;

// Decodes a chunked body from bytes arriving in any pieces, keeping its state
// between calls. Each size line is hexadecimal (a byte that is not a hex
// digit counts as 0, only the last eight digits count, no extensions); an
// empty size line (the CR LF after a chunk's data) is followed by the next
// size line; size 0 ends the body, whose trailer is not read.
class CChunkedDecoder {
 public:
  enum class Status { kNeedMore, kDone, kError };

  // Consumes bytes from data[0..length), appending body bytes to *body, and
  // returns how many it consumed. Stops consuming when the body is complete or
  // an error has occurred (both are final).
  size_t Feed(const char* data, size_t length, std::string* body);
  Status GetStatus() const { return status_; }
  // How many bytes the decoder can use next without reading past the body:
  // one while reading a size line, the rest of the chunk while reading data.
  size_t BytesWanted() const;
  // Total body bytes produced so far.
  uint64_t BodyBytes() const { return body_bytes_; }

 private:
  // After a line of size 0 one more line decides: 0 ends the body, else it is
  // the next chunk's size.
  enum class State { kSizeLine, kSizeLineAfterEmpty, kData };

  void FinishLine();

  State state_ = State::kSizeLine;
  Status status_ = Status::kNeedMore;
  char line_[kMaxChunkSizeLineBytes] = {};
  size_t line_length_ = 0;
  uint32_t chunk_left_ = 0;
  uint64_t body_bytes_ = 0;
};

// The size of one complete size line (ending in CR LF): -1 without CR LF, 0
// for an empty line, else the hex value before the CR LF as a signed 32-bit
// number (so 80000000 and above are negative).
int32_t ChunkSizeOfLine(const char* line, size_t length);

}  // namespace pelmar
