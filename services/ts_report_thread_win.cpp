#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstring>

#include "base/win/scoped_handle.h"
#include "services/sdk_binding.h"
#include "services/ts_report_thread.h"

namespace pelmar {

namespace {

// The export: writes the id as a NUL-terminated text into `buffer`.
using GetTSUIDFn = int(__cdecl*)(char* buffer, int size);

// Frees the library on every path out of the call.
class LoadedLibrary {
 public:
  explicit LoadedLibrary(const std::wstring& path)
      : module_(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) {}
  ~LoadedLibrary() {
    if (module_) FreeLibrary(module_);
  }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;
  HMODULE Get() const { return module_; }

 private:
  HMODULE module_;
};

// Rights that let a holder change what the folder or the file holds.
constexpr ACCESS_MASK kChangingRights =
    FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES |
    DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;

// The administrators, the system and the installer service of Windows.
bool IsAdministrativeSid(PSID sid) {
  if (sid == nullptr || !IsValidSid(sid)) return false;
  for (WELL_KNOWN_SID_TYPE type : {WinBuiltinAdministratorsSid, WinLocalSystemSid}) {
    if (IsWellKnownSid(sid, type)) return true;
  }
  // NT SERVICE\TrustedInstaller
  static const wchar_t kTrustedInstaller[] =
      L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
  PSID trusted = nullptr;
  if (!ConvertStringSidToSidW(kTrustedInstaller, &trusted)) return false;
  const bool same = EqualSid(sid, trusted) != FALSE;
  LocalFree(trusted);
  return same;
}

// The descriptor's owner and access list let only administrators change it.
bool OnlyAdministratorsIn(PSECURITY_DESCRIPTOR descriptor) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  BOOL present = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
      !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
    return false;
  }
  // No access list at all lets everybody do everything.
  if (!IsAdministrativeSid(owner) || !present || dacl == nullptr) return false;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) return false;
    const auto* header = static_cast<ACE_HEADER*>(ace);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) {
      continue;
    }
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if ((allowed->Mask & kChangingRights) != 0 &&
        !IsAdministrativeSid(reinterpret_cast<PSID>(&allowed->SidStart))) {
      return false;
    }
  }
  return true;
}

// The same for the object behind `handle`.
bool OnlyAdministratorsChange(HANDLE handle) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                      nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const bool only = OnlyAdministratorsIn(descriptor);
  LocalFree(descriptor);
  return only;
}

// Opens `path` itself (never what a link there points to), letting nobody
// write, delete or rename it while held; empty for a link.
win::ScopedHandle OpenHeld(const std::wstring& path, bool directory) {
  win::ScopedHandle held(CreateFileW(
      path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
      FILE_FLAG_OPEN_REPARSE_POINT | (directory ? FILE_FLAG_BACKUP_SEMANTICS : 0), nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!held || !GetFileInformationByHandle(held.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
      ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != directory) {
    return {};
  }
  return held;
}

std::wstring WithSeparator(std::wstring folder) {
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  return folder;
}

}  // namespace

std::wstring DefaultSdkFolder() {
  std::wstring maker = CSdkBinding::Locations().makerDataDir;
  if (maker.empty()) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)))
      return {};
    maker = WithSeparator(path) + L"PelmarPkg\\";
  }
  return WithSeparator(maker) + L"Vek\\";
}

bool OnlyAdministratorsChange(const std::wstring& descriptorText) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(descriptorText.c_str(), SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return false;
  }
  const bool only = OnlyAdministratorsIn(descriptor);
  LocalFree(descriptor);
  return only;
}

std::string ReadUserIdLibrary(const std::wstring& sdk_folder,
                              const ChangeJudge& onlyAdministratorsChange) {
  if (sdk_folder.empty()) return {};
  const std::wstring path = WithSeparator(sdk_folder) + L"TSUID.dll";
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return {};
  // The installer does not carry this library, so it has no digest to check
  // it against: it runs with the installer's rights only from a folder, and
  // as a file, that nobody but the administrators can change. Both stay
  // held, unchangeable, until the library is unloaded again.
  std::wstring folder_path = sdk_folder;
  while (folder_path.size() > 3 && (folder_path.back() == L'\\' || folder_path.back() == L'/')) {
    folder_path.pop_back();
  }
  const win::ScopedHandle folder = OpenHeld(folder_path, true);
  const win::ScopedHandle file = OpenHeld(path, false);
  if (!folder || !file) return {};
  const bool trusted =
      onlyAdministratorsChange
          ? onlyAdministratorsChange(folder_path) && onlyAdministratorsChange(path)
          : OnlyAdministratorsChange(folder.get()) && OnlyAdministratorsChange(file.get());
  if (!trusted) return {};
  LoadedLibrary library(path);
  if (!library.Get()) return {};
  const auto get = reinterpret_cast<GetTSUIDFn>(
      reinterpret_cast<void*>(GetProcAddress(library.Get(), "GetTSUID")));
  if (!get) return {};
  char buffer[kTSUidBufferSize] = {};
  (void)get(buffer, static_cast<int>(kTSUidBufferSize));
  // A library that fills every byte leaves no terminator: read one less.
  return std::string(buffer, strnlen(buffer, kTSUidBufferSize - 1));
}

}  // namespace pelmar
