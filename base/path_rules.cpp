#include "base/path_rules.h"

#include "base/windows_file_name.h"

namespace pelmar {
namespace {
bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
}  // namespace

bool IsValidInstallPath(std::wstring_view path) {
  if (path.find(L"\\\\") != std::wstring_view::npos) return false;
  // Pieces between backslashes; with doubled backslashes excluded, an empty
  // piece can only stand first (a leading backslash, which fails the drive
  // test) or last (one trailing backslash, accepted).
  std::vector<std::wstring_view> pieces;
  size_t start = 0;
  for (;;) {
    const size_t end = path.find(L'\\', start);
    pieces.push_back(path.substr(start, end == std::wstring_view::npos ? end : end - start));
    if (end == std::wstring_view::npos) break;
    start = end + 1;
  }
  if (pieces.size() > 1 && pieces.back().empty()) pieces.pop_back();

  const std::wstring_view drive = pieces.front();
  if (drive.size() != 2 || drive.find(L':') == std::wstring_view::npos) return false;
  const wchar_t letter = drive[0];
  if (!((letter >= L'A' && letter <= L'Z') || (letter >= L'a' && letter <= L'z'))) return false;

  static constexpr std::wstring_view kForbidden = L"\\/:*?\"<>|";
  for (size_t i = 1; i < pieces.size(); ++i) {
    if (pieces[i].empty()) return false;
    if (pieces[i].find_first_of(kForbidden) != std::wstring_view::npos) return false;
  }
  return true;
}

bool CanonicalInstallPath(std::wstring_view path, std::wstring* canonical) {
  for (const wchar_t c : path) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  if (!IsValidInstallPath(path)) return false;
  std::vector<std::wstring_view> kept;
  size_t start = 3;  // after "X:\"
  while (start < path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring_view::npos) end = path.size();
    const std::wstring_view piece = path.substr(start, end - start);
    start = end + 1;
    if (piece == L".") continue;
    if (piece == L"..") {
      // Above the drive there is nothing: such a path names no directory the
      // user could have meant.
      if (kept.empty()) return false;
      kept.pop_back();
      continue;
    }
    if (!IsPlainWindowsFileName(piece, kMaxPathComponentChars)) return false;
    kept.push_back(piece);
  }
  std::wstring out(path.substr(0, 2));
  if (kept.empty()) out.push_back(L'\\');
  for (const std::wstring_view piece : kept) {
    out.push_back(L'\\');
    out.append(piece);
  }
  *canonical = std::move(out);
  return true;
}

std::wstring WithTrailingSeparator(std::wstring_view path) {
  std::wstring out(path);
  if (!out.empty() && !IsSeparator(out.back())) out.push_back(L'\\');
  return out;
}

std::wstring DirectoryOfFile(std::wstring_view path) {
  const size_t last = path.find_last_of(L"\\/");
  if (last == std::wstring_view::npos || last + 1 == path.size()) return std::wstring();
  std::wstring dir(path.substr(0, last));
  dir.push_back(L'\\');
  return dir;
}

std::wstring FileNameOf(std::wstring_view path) {
  const size_t last = path.find_last_of(L"\\/");
  return std::wstring(last == std::wstring_view::npos ? path : path.substr(last + 1));
}

std::vector<std::wstring> SplitPathPieces(std::wstring_view path) {
  std::vector<std::wstring> pieces;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (end > start) pieces.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

std::wstring VolumeRootOf(std::wstring_view path) {
  if (path.empty()) return std::wstring();
  std::wstring root(path.substr(0, path.find(L'\\')));
  root.push_back(L'\\');
  return root;
}

std::vector<std::wstring> SplitMultiString(const wchar_t* buffer, size_t length) {
  std::vector<std::wstring> entries;
  if (buffer == nullptr) return entries;
  size_t i = 0;
  while (i < length && buffer[i] != L'\0') {
    size_t end = i;
    while (end < length && buffer[end] != L'\0') ++end;
    entries.emplace_back(buffer + i, end - i);
    i = end + 1;
  }
  return entries;
}

std::vector<std::wstring> ReadGrowingMultiString(
    uint32_t first_capacity,
    const std::function<ListReadStatus(wchar_t* buffer, uint32_t capacity, uint32_t* needed)>&
        read) {
  uint32_t capacity = first_capacity == 0 ? 1 : first_capacity;
  std::vector<wchar_t> buffer;
  bool complete = false;
  for (int attempt = 0; attempt < kMaxListReads; ++attempt) {
    buffer.assign(capacity + 2, L'\0');  // two spare terminators
    uint32_t needed = 0;
    const ListReadStatus status = read(buffer.data(), capacity, &needed);
    if (status == kListRead) {
      complete = true;
      break;
    }
    if (status == kListFailed || capacity >= kMaxListChars) break;
    const uint64_t doubled = uint64_t{capacity} * 2;
    uint64_t next = needed > capacity ? needed : doubled;
    if (next > kMaxListChars) next = kMaxListChars;
    capacity = static_cast<uint32_t>(next);
  }
  // What a failed read leaves in the buffer is not a list.
  if (!complete) return {};
  return SplitMultiString(buffer.data(), capacity);
}

}  // namespace pelmar
