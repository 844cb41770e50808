#include "net/http_form.h"

namespace pelmar {

const std::string& HttpForm::Boundary() {
  static const std::string boundary = std::string(29, '-') + "7da1f4c300560";
  return boundary;
}

void HttpForm::AddField(const std::string& name, const std::string& value) {
  if (prepared_) return;
  Part& part = parts_[name];
  part.value = value;
  part.header = "Content-Disposition: form-data; name=\"" + name + "\"\r\n\r\n";
}

bool HttpForm::Prepare() {
  prepared_ = false;
  next_ = parts_.end();
  if (parts_.empty()) return false;
  boundary_ = Boundary();
  const int64_t boundary_length = static_cast<int64_t>(boundary_.size());
  total_ = 0;
  for (const auto& [name, part] : parts_) {
    total_ += boundary_length + 2 + static_cast<int64_t>(part.header.size()) +
              static_cast<int64_t>(part.value.size()) + 2;
  }
  total_ += boundary_length + 4;
  prepared_ = true;
  next_ = parts_.begin();
  return true;
}

bool HttpForm::NextPiece(std::string* piece) {
  piece->clear();
  if (!prepared_ || next_ == parts_.end()) return false;
  const Part& part = next_->second;
  piece->reserve(boundary_.size() + part.header.size() + part.value.size() + 8);
  *piece += boundary_;
  *piece += "\r\n";
  *piece += part.header;
  *piece += part.value;
  *piece += "\r\n";
  if (++next_ == parts_.end()) {
    *piece += boundary_;
    *piece += "--\r\n";
  }
  return true;
}

}  // namespace pelmar
