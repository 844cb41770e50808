#include "app/run_cache_directory.h"

#include <windows.h>
#include <sddl.h>
#include <sodium.h>

#include <string>

#include "app/system_queries.h"
#include "base/file_system.h"
#include "base/path_rules.h"
#include "base/win/scoped_handle.h"

namespace pelmar {
namespace {
// Written only by the static set-up and clean-up, before and after every
// other thread of the process.
std::wstring g_run_cache;

// Frees what ConvertStringSecurityDescriptorToSecurityDescriptor made.
struct LocalMemory {
  void* p = nullptr;
  ~LocalMemory() {
    if (p != nullptr) LocalFree(p);
  }
};

// "PelmarPkg_" and 16 random hexadecimal digits: a name nobody can guess and
// create first.
std::wstring RandomName() {
  unsigned char bytes[8];
  randombytes_buf(bytes, sizeof bytes);
  static constexpr wchar_t kHex[] = L"0123456789abcdef";
  std::wstring name = L"PelmarPkg_";
  for (unsigned char b : bytes) {
    name += kHex[b >> 4];
    name += kHex[b & 0x0F];
  }
  return name;
}

// The access list of the folder: full control for the signed-in user and
// the administrators, nothing for anybody else, nothing inherited from a
// drive root where any signed-in user may add and change things.
std::wstring OwnersOnlyAccessList() {
  win::ScopedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive())) return {};
  DWORD size = 0;
  (void)GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
  if (size == 0 || !GetTokenInformation(token.get(), TokenUser, &buffer[0], size, &size)) return {};
  LocalMemory sid_text;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(&buffer[0])->User.Sid,
                              reinterpret_cast<wchar_t**>(&sid_text.p))) {
    return {};
  }
  return std::wstring(L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;") + static_cast<wchar_t*>(sid_text.p) +
         L")";
}

// Creates `dir` with the owners-only access list; false when it exists or
// cannot be made so.
bool CreateOwnersOnlyDirectory(const std::wstring& dir) {
  const std::wstring sddl = OwnersOnlyAccessList();
  LocalMemory descriptor;
  if (sddl.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                          sddl.c_str(), SDDL_REVISION_1, &descriptor.p, nullptr)) {
    return false;
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.p, FALSE};
  return CreateDirectoryW(dir.c_str(), &attributes) != FALSE;
}

}  // namespace

std::wstring RunCacheDirectory() { return g_run_cache; }

CRunCacheDirectory::CRunCacheDirectory() {
  std::wstring root = BestVolumeRoot();
  if (root.empty()) return;
  // A root whose parents are missing (the maker data directory fallback).
  if (!DirectoryExists(root)) (void)CreateDirectories(root);
  // No sodium_init(): randombytes_buf sets up the system generator on first
  // use (here, before any thread runs), and the call would link every
  // algorithm libsodium chooses between (about 140 KB).
  for (int i = 0; i < kMaxNameTries; ++i) {
    const std::wstring dir = root + RandomName();
    // Only a directory this process made is taken: never one that was there.
    if (CreateOwnersOnlyDirectory(dir)) {
      g_run_cache = WithTrailingSeparator(dir);
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return;
  }
}

CRunCacheDirectory::~CRunCacheDirectory() {
  if (!g_run_cache.empty()) {
    // A file another process still holds (a virus scanner, the SDK's
    // uploader reading its archive) is deleted only when it lets go, and
    // until then the folder is not empty: try again for a short while.
    for (int attempt = 0; attempt < kMaxRemoveTries; ++attempt) {
      if (RemoveDirectoryTree(g_run_cache) || !DirectoryExists(g_run_cache)) break;
      Sleep(kRemoveRetryMs);
    }
  }
  g_run_cache.clear();
}

}  // namespace pelmar
