#include "base/ansi_path.h"

#include <sys/stat.h>

#include "base/text_convert.h"

namespace pelmar {

std::string AnsiFromWide(std::wstring_view wide) { return Utf8FromWide(wide); }

std::wstring WideFromAnsi(std::string_view ansi) { return WideFromUtf8(ansi); }

bool IsRegularFile(const std::wstring& path) {
  struct stat st {};
  return !path.empty() && ::stat(Utf8FromWide(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace pelmar
