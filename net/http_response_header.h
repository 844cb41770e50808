#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelmar {

// A response header is read until its blank line or until this many bytes,
// whichever comes first. Our servers send a few hundred bytes; the cap keeps a
// peer that never ends its header from growing our buffer without limit.
inline constexpr size_t kMaxResponseHeaderBytes = 4096;

// "Content-Range: bytes <first>-<last>/<total>" ("*" total gives -1).
struct ContentRange {
  bool present = false;  // a Content-Range line was there
  bool valid = false;    // it had the form above with first <= last (< total when known)
  int64_t first = -1;
  int64_t last = -1;
  int64_t total = -1;
};

// What the client needs from a response header block.
struct HttpResponseHeader {
  // Lines without their line ends, empty lines dropped, the status line first.
  std::vector<std::string> lines;
  // Three characters from position 9 of the status line when that line is
  // longer than 11 characters; empty otherwise. Not validated as digits.
  std::string status;
  // The first line longer than 15 characters starting exactly with
  // "Content-Length:" (case-sensitive), the rest read like "%lld" (leading
  // white space, optional sign, digits; saturates instead of overflowing).
  // 0 when there is no such line. May be negative: callers decide.
  int64_t contentLength = 0;
  bool hasContentLength = false;
  // First line starting exactly with "Location:", the rest without leading spaces.
  std::string location;
  bool hasLocation = false;
  // The following header names are matched without regard to case and their
  // values have surrounding spaces and tabs removed; the first line wins.
  ContentRange contentRange;
  std::string contentDisposition;
  std::string transferEncoding;
  bool chunked = false;  // Transfer-Encoding's last coding is "chunked" (any case)

  // The status as a number 0..999, or -1 when it is not three digits.
  int StatusCode() const;
};

// Parses a header block (everything received up to and including the blank
// line, or a block cut at kMaxResponseHeaderBytes). Never reads outside
// `block`; any byte sequence gives a result.
HttpResponseHeader ParseResponseHeader(std::string_view block);

// Collects a header from bytes arriving in pieces. It stops right after the
// first CR LF CR LF or when kMaxResponseHeaderBytes bytes are collected, so
// bytes after the header are never consumed.
class CResponseHeaderReader {
 public:
  // Takes bytes from data[0..length) and returns how many it consumed (fewer
  // than length only once it is complete).
  size_t Feed(const char* data, size_t length);
  bool IsComplete() const { return complete_; }
  // True when completion came from the size cap rather than the blank line.
  bool WasCut() const { return complete_ && !blank_line_; }
  std::string_view Text() const { return text_; }
  HttpResponseHeader Parse() const { return ParseResponseHeader(text_); }

 private:
  std::string text_;
  bool complete_ = false;
  bool blank_line_ = false;
};

}  // namespace pelmar
