#include "net/chunked_decoder.h"

#include <algorithm>

namespace pelmar {

int32_t ChunkSizeOfLine(const char* line, size_t length) {
  size_t end = 0;
  while (end + 1 < length && !(line[end] == '\r' && line[end + 1] == '\n')) ++end;
  if (end + 1 >= length) return -1;
  uint32_t value = 0;
  for (size_t i = 0; i < end; ++i) {
    const char c = line[i];
    uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    }
    value = (value << 4) | digit;  // older digits fall off the top
  }
  return static_cast<int32_t>(value);
}

size_t CChunkedDecoder::BytesWanted() const {
  if (status_ != Status::kNeedMore) return 0;
  return state_ == State::kData ? chunk_left_ : 1;
}

void CChunkedDecoder::FinishLine() {
  const int32_t size = ChunkSizeOfLine(line_, line_length_);
  line_length_ = 0;
  if (size == 0 && state_ == State::kSizeLine) {
    state_ = State::kSizeLineAfterEmpty;
    return;
  }
  if (size < 0) {
    status_ = Status::kError;
  } else if (size == 0) {
    status_ = Status::kDone;
  } else if (static_cast<uint64_t>(size) > kMaxHttpBodyBytes - body_bytes_) {
    status_ = Status::kError;
  } else {
    chunk_left_ = static_cast<uint32_t>(size);
    state_ = State::kData;
  }
}

size_t CChunkedDecoder::Feed(const char* data, size_t length, std::string* body) {
  size_t used = 0;
  while (status_ == Status::kNeedMore && used < length) {
    if (state_ == State::kData) {
      const size_t take = std::min<size_t>(chunk_left_, length - used);
      body->append(data + used, take);
      used += take;
      body_bytes_ += take;
      chunk_left_ -= static_cast<uint32_t>(take);
      if (chunk_left_ == 0) state_ = State::kSizeLine;
      continue;
    }
    line_[line_length_++] = data[used++];
    const bool ended =
        line_length_ >= 2 && line_[line_length_ - 2] == '\r' && line_[line_length_ - 1] == '\n';
    if (ended || line_length_ == kMaxChunkSizeLineBytes) FinishLine();
  }
  return used;
}

}  // namespace pelmar
