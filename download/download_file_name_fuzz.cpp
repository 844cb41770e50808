// Header lines from the network become a file name: whatever they hold, the
// name must be a bare name that cannot leave the data folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "download/download_file_name.h"
#include "base/text_convert.h"
#include "base/windows_file_name.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '\n') {
      lines.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  const std::string name = pelmar::FileNameFromHeaderLines(lines);
  if (name.size() > pelmar::kMaxServerFileNameBytes) std::abort();
  if (name.find_first_of("/\\:\"<>|?*") != std::string::npos) std::abort();
  if (name == "." || name == "..") std::abort();
  for (unsigned char c : name) {
    if (c < 0x20) std::abort();
  }
  // An acceptable setup name is a plain ".exe" name; a kept version is dotted decimal.
  const std::wstring wide = pelmar::WideFromUtf8(text.substr(0, 300));
  if (pelmar::IsAcceptableSetupFileName(wide)) {
    if (wide.find_first_of(L"/\\:") != std::wstring::npos) std::abort();
    if (pelmar::IsWindowsDeviceName(wide)) std::abort();
  }
  const std::string version = pelmar::DottedVersionOrEmpty(text);
  if (!version.empty() &&
      (version != text || text.find_first_not_of("0123456789.") != std::string::npos))
    std::abort();
  return 0;
}
