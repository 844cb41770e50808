#include "download/download_file_name.h"

#include "base/number_text.h"
#include "base/text_convert.h"
#include "base/text_split.h"
#include "base/version_text.h"
#include "base/windows_file_name.h"

namespace pelmar {
namespace {

bool IsUnusableNameByte(unsigned char c) {
  if (c < 0x20 || c == 0x7F) return true;
  switch (c) {
    case '<':
    case '>':
    case ':':
    case '"':
    case '|':
    case '?':
    case '*':
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string FileNameFromHeaderLines(const std::vector<std::string>& lines) {
  constexpr std::string_view kKey = "filename=";
  for (const std::string& line : lines) {
    const size_t at = line.find(kKey);
    if (at == std::string::npos) continue;
    // Only the first line naming a file counts, usable or not.
    std::string_view rest = std::string_view(line).substr(at + kKey.size());
    std::string_view piece;
    size_t start = 0;
    for (size_t i = 0; i <= rest.size(); ++i) {
      if (i == rest.size() || rest[i] == '"') {
        if (i > start) {
          piece = rest.substr(start, i - start);
          break;
        }
        start = i + 1;
      }
    }
    // A name from the network must not lead out of the data folder.
    const size_t slash = piece.find_last_of("/\\");
    if (slash != std::string_view::npos) piece = piece.substr(slash + 1);
    if (piece.empty() || piece == "." || piece == ".." || piece.size() > kMaxServerFileNameBytes) {
      return {};
    }
    for (char c : piece) {
      if (IsUnusableNameByte(static_cast<unsigned char>(c))) return {};
    }
    return std::string(piece);
  }
  return {};
}

bool IsAcceptableSetupFileName(std::wstring_view name) {
  constexpr std::wstring_view kExe = L".exe";
  if (name.size() <= kExe.size()) return false;
  const std::wstring_view tail = name.substr(name.size() - kExe.size());
  for (size_t i = 0; i < kExe.size(); ++i) {
    const wchar_t c = tail[i] >= L'A' && tail[i] <= L'Z' ? tail[i] + 32 : tail[i];
    if (c != kExe[i]) return false;
  }
  return IsPlainWindowsFileName(name, kMaxSetupFileNameChars);
}

std::string DottedVersionOrEmpty(std::string_view version) {
  size_t parts = 0;
  size_t digits = 0;
  for (const char c : version) {
    if (c == '.') {
      if (digits == 0) return {};
      ++parts;
      digits = 0;
    } else if (c >= '0' && c <= '9') {
      if (++digits > kMaxVersionPartDigits) return {};
    } else {
      return {};
    }
  }
  if (digits == 0 || parts + 1 > kMaxVersionParts) return {};
  return std::string(version);
}

std::wstring InstallerDerivedFileName(std::wstring_view program_path, std::wstring_view version) {
  const size_t slash = program_path.find_last_of(L"/\\");
  std::wstring name(slash == std::wstring_view::npos ? program_path
                                                     : program_path.substr(slash + 1));
  const size_t dot = program_path.rfind(L'.');
  if (dot != std::wstring_view::npos && (slash == std::wstring_view::npos || dot > slash)) {
    const std::wstring extension(program_path.substr(dot));
    for (size_t at = name.find(extension); at != std::wstring::npos;
         at = name.find(extension, at)) {
      name.erase(at, extension.size());
    }
  }
  if (name.find(L"_install") == std::wstring::npos) name += L"_install";
  if (!version.empty()) {
    name += L"_v";
    name += version;
  }
  name += L".exe";
  return name;
}

std::wstring FixedFileNameForVersion(std::wstring_view product_version) {
  const std::vector<std::wstring_view> parts = SplitDroppingEmpty(product_version, L'.');
  if (parts.size() != 4) return {};
  // The second part must read as a number; "97abc" reads as 97 like "%d".
  const int64_t second = ParseDecimalLikeScanf(Utf8FromWide(parts[1]));
  switch (second) {
    case 96:
      return L"install_tengxun0.exe";
    case 97:
      return L"install_qihu3600.exe";
    case 98:
      return L"install_jinshan0.exe";
    case 99:
      return L"install_huawei00.exe";
    default:
      return {};
  }
}

bool CompareVersions(std::wstring_view a, std::wstring_view b) {
  return VersionText(Utf8FromWide(a)).CoversEveryPartOf(VersionText(Utf8FromWide(b)));
}

}  // namespace pelmar
