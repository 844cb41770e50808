// The demo product's silent setup program: what the installer downloads and
// runs. It carries Morvantile.exe as a resource, copies it into "/DIR=" and
// writes the product's uninstall entry. Exit code 0 only when both are done;
// otherwise the entry is left exactly as it was before the run.
#include <windows.h>

#include <string>
#include <vector>

#include "demo/install_directory.h"
#include "demo/setup_command_line.h"
#include "demo/setup_exit_codes.h"
#include "demo/uninstall_entry.h"

namespace pelmar::demo {
namespace {

constexpr int kProductResourceId = 201;
constexpr wchar_t kProductFileName[] = L"Morvantile.exe";

struct FileHandle {
  HANDLE h = INVALID_HANDLE_VALUE;
  ~FileHandle() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Creates `directory` and its missing parents; true when it exists afterwards.
bool CreateDirectories(const std::wstring& directory) {
  if (IsDirectory(directory)) return true;
  const size_t slash = directory.rfind(L'\\');
  if (slash != std::wstring::npos && slash > 2 && !CreateDirectories(directory.substr(0, slash))) {
    return false;
  }
  return CreateDirectoryW(directory.c_str(), nullptr) || IsDirectory(directory);
}

bool ProductBytes(const void** data, DWORD* size) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(kProductResourceId), RT_RCDATA);
  if (found == nullptr) return false;
  HGLOBAL loaded = LoadResource(nullptr, found);
  *size = SizeofResource(nullptr, found);
  *data = loaded != nullptr ? LockResource(loaded) : nullptr;
  return *data != nullptr && *size > 0;
}

// Writes the product beside its final name and then moves it over, so an
// earlier installation is replaced whole or not at all.
bool CopyProduct(const std::wstring& directory, std::wstring* installed) {
  const void* data = nullptr;
  DWORD size = 0;
  if (!ProductBytes(&data, &size)) return false;
  const std::wstring target =
      directory + (directory.back() == L'\\' ? L"" : L"\\") + kProductFileName;
  const std::wstring staging = target + L".new";
  // Windows refuses to replace a read-only file; Wine replaces it all the
  // same, so the attribute is honoured here on every system.
  const DWORD existing = GetFileAttributesW(target.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY) != 0) {
    return false;
  }
  {
    FileHandle file;
    file.h = CreateFileW(staging.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file.h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool complete = WriteFile(file.h, data, size, &written, nullptr) && written == size &&
                          FlushFileBuffers(file.h);
    if (!complete) {
      CloseHandle(file.h);
      file.h = INVALID_HANDLE_VALUE;
      DeleteFileW(staging.c_str());
      return false;
    }
  }
  if (!MoveFileExW(staging.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(staging.c_str());
    return false;
  }
  *installed = target;
  return true;
}

int Run() {
  SetupRequest request;
  if (ParseSetupArguments(ArgumentsAfterProgram(GetCommandLineW()), &request) !=
      SetupLineError::kNone) {
    return kExitBadCommandLine;
  }
  const std::wstring directory = ResolveInstallDirectory(request.directory);
  if (directory.empty()) return kExitBadDirectory;
  if (!CreateDirectories(directory)) return kExitDirectoryNotWritable;
  std::wstring product;
  if (!CopyProduct(directory, &product)) return kExitCopyFailed;
  UninstallValues values;
  values.displayIcon = product;
  values.displayName = L"Morvantile";
  values.displayVersion = PELMAR_DEMO_VERSION_W;
  values.installLocation = directory + (directory.back() == L'\\' ? L"" : L"\\");
  values.publisher = L"Pelmar";
  if (!WriteUninstallEntry(values)) return kExitRegistryFailed;
  return kExitInstalled;
}

}  // namespace
}  // namespace pelmar::demo

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return pelmar::demo::Run(); }
