// Any bytes read as an INI file: reading never fails, writing a key always
// reads back, and the other keys keep their values through the rewrite.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/ini_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > pelmar::IniText::kMaxBytes) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  pelmar::IniText ini(text);
  const auto other_before = ini.Get("Other", "k");
  const auto path_before = ini.Get("General", "path");
  // The value is taken from the input too, minus the line breaks Set removes.
  std::string value = text.substr(0, text.size() < 40 ? text.size() : 40);
  for (char& c : value) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  // Values lose surrounding blanks and quotes on reading; keep them inner.
  value = "<" + value + ">";
  ini.Set("General", "md5", value);
  const pelmar::IniText again(ini.Text());
  if (again.Get("General", "md5") != value) __builtin_trap();
  if (again.Get("Other", "k") != other_before) __builtin_trap();
  if (again.Get("General", "path") != path_before) __builtin_trap();
  return 0;
}
