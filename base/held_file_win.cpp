#include <windows.h>

#include "base/held_file.h"

namespace pelmar {

struct CHeldFile::Native {
  HANDLE handle = INVALID_HANDLE_VALUE;
  BY_HANDLE_FILE_INFORMATION info{};
  ~Native() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

namespace {

bool IsPlainFile(const BY_HANDLE_FILE_INFORMATION& info) {
  return (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

}  // namespace

CHeldFile::CHeldFile(std::wstring path, std::unique_ptr<Native> native)
    : path_(std::move(path)), native_(std::move(native)) {}

CHeldFile::~CHeldFile() = default;

std::unique_ptr<CHeldFile> CHeldFile::Open(const std::wstring& path) {
  if (path.empty()) return nullptr;
  auto native = std::make_unique<Native>();
  // FILE_SHARE_READ alone: others may read and execute it (process creation
  // opens it so), but an open for writing or deleting, and so any rename,
  // fails while this handle lives, and this open fails if such a handle
  // exists already. The link itself is opened, never its target.
  native->handle = CreateFileW(
      path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (native->handle == INVALID_HANDLE_VALUE) return nullptr;
  if (GetFileType(native->handle) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(native->handle, &native->info) || !IsPlainFile(native->info)) {
    return nullptr;
  }
  return std::unique_ptr<CHeldFile>(new CHeldFile(path, std::move(native)));
}

int64_t CHeldFile::Read(void* buffer, size_t size) {
  const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  DWORD got = 0;
  if (!ReadFile(native_->handle, buffer, want, &got, nullptr)) return -1;
  return static_cast<int64_t>(got);
}

bool CHeldFile::Rewind() {
  LARGE_INTEGER zero{};
  return SetFilePointerEx(native_->handle, zero, nullptr, FILE_BEGIN) != FALSE;
}

namespace {

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber,
          (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

}  // namespace

bool IdentifyFile(const std::wstring& path, FileIdentity* identity) {
  // Attribute access only: it conflicts with no sharing mode, ours included.
  HANDLE other = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (other == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool read = GetFileInformationByHandle(other, &info) != FALSE;
  CloseHandle(other);
  if (!read || !IsPlainFile(info)) return false;
  *identity = IdentityOf(info);
  return true;
}

bool CHeldFile::IsNamedBy(const std::wstring& path) const {
  FileIdentity identity;
  return IdentifyFile(path, &identity) && Is(identity);
}

bool CHeldFile::Is(const FileIdentity& identity) const {
  return IdentityOf(native_->info) == identity;
}

}  // namespace pelmar
