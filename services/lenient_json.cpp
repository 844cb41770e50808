#include "services/lenient_json.h"

#include <memory>
#include <string>

namespace pelmar {

bool ParseLenientJson(std::string_view text, Json::Value* root) {
  Json::CharReaderBuilder builder;
  builder["failIfExtra"] = false;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  Json::Value parsed;
  try {
    if (!reader->parse(text.data(), text.data() + text.size(), &parsed, &errors)) return false;
  } catch (const Json::Exception&) {
    return false;  // the reader throws past its nesting limit instead of failing
  }
  *root = std::move(parsed);
  return true;
}

bool IsJsonIntegerZero(const Json::Value& value) {
  // Compare by the stored kind: converting a negative number to unsigned (or
  // a huge one to signed) throws.
  switch (value.type()) {
    case Json::intValue:
      return value.asLargestInt() == 0;
    case Json::uintValue:
      return value.asLargestUInt() == 0;
    default:
      return false;
  }
}

}  // namespace pelmar
