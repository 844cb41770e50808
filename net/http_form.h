#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace pelmar {

// A multipart/form-data body sent in pieces. Parts are kept, and sent, in
// ascending byte order of their names. Fields are added before the first
// Prepare; later additions are ignored.
class HttpForm {
 public:
  // 29 dashes and a fixed tail. The body carries it whole; the Content-Type
  // header carries it without its first two dashes.
  static const std::string& Boundary();

  // Replaces the value of an existing field (and its part header) or adds one.
  void AddField(const std::string& name, const std::string& value);
  // Starts sending from the first part and computes the body length; false
  // for an empty form.
  bool Prepare();
  // The next piece of the body: boundary, CR LF, part header, value, CR LF,
  // and after the last part the closing boundary line. False at the end or
  // when not prepared.
  bool NextPiece(std::string* piece);
  int64_t TotalLength() const { return total_; }
  bool IsPrepared() const { return prepared_; }

 private:
  struct Part {
    std::string value;
    std::string header;  // Content-Disposition line and the blank line
  };

  std::map<std::string, Part> parts_;
  std::string boundary_;
  int64_t total_ = 0;
  bool prepared_ = false;
  std::map<std::string, Part>::const_iterator next_;
};

}  // namespace pelmar
