#pragma once

#include <json/json.h>

#include <string_view>

namespace pelmar {

// Reads one JSON document from a server's answer the way the maker's servers
// have always been read: text after the value is ignored. Never throws: a
// document nested past the reader's limit is a failure like any other bad
// answer. The size bound is the caller's.
bool ParseLenientJson(std::string_view text, Json::Value* root);

// True when `value` is an integer equal to zero. Never throws, whatever the
// JSON type or sign ("code": -1 is simply not zero).
bool IsJsonIntegerZero(const Json::Value& value);

}  // namespace pelmar
