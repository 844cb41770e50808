#include <cstdio>
#include <fstream>
#include <optional>

#include "base/file_system.h"
#include "base/ini_text.h"
#include "base/profile_file.h"
#include "base/text_convert.h"

namespace pelmar {
namespace {

// The file's text; nullopt when it is missing or too large to be ours.
std::optional<std::string> Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text;
  char piece[4096];
  while (in.read(piece, sizeof piece) || in.gcount() > 0) {
    text.append(piece, static_cast<size_t>(in.gcount()));
    if (text.size() > IniText::kMaxBytes) return std::nullopt;
  }
  return text;
}

}  // namespace

std::wstring ProfileFile::Read(const std::wstring& section, const std::wstring& key) const {
  const auto text = Load(Utf8FromWide(path_));
  if (!text) return std::wstring();
  const auto value = IniText(*text).Get(Utf8FromWide(section), Utf8FromWide(key));
  if (!value) return std::wstring();
  std::wstring wide = WideFromUtf8(*value);
  if (wide.size() > kMaxValueChars) wide.resize(kMaxValueChars);
  return wide;
}

bool ProfileFile::Write(const std::wstring& section, const std::wstring& key,
                        const std::wstring& value) const {
  const std::string path = Utf8FromWide(path_);
  std::string text;
  if (FileExists(path_)) {
    const auto loaded = Load(path);
    if (!loaded) return false;  // too large: never truncate a file we cannot hold
    text = *loaded;
  }
  IniText ini(text);
  ini.Set(Utf8FromWide(section), Utf8FromWide(key), Utf8FromWide(value));
  // Written beside and renamed over, so a failed write never leaves half a file.
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << ini.Text();
    if (!out.flush()) return false;
  }
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

}  // namespace pelmar
