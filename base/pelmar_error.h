#pragma once

#include <stdexcept>
#include <string>

namespace pelmar {

// An unrecoverable failure inside a component, carrying the short English text
// the component's edge reports ("socket recv failed", "init url failed", ...).
class PelmarError : public std::runtime_error {
 public:
  explicit PelmarError(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace pelmar
