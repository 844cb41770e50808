#include "services/sdk_binding.h"

#include <windows.h>
#include <shlobj.h>
#include <sodium.h>

#include <string>
#include <vector>

#include "base/pelmar_error.h"
#include "base/win/scoped_handle.h"
#include "base/zip_extract.h"
#include "sdk_digests.h"

namespace pelmar {

namespace {

constexpr int kSdkResourceId = 105;

template <typename Fn>
Fn Proc(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

template <typename Fn>
void Required(HMODULE module, const char* name, Fn* out, const std::string& failure) {
  *out = Proc<Fn>(module, name);
  if (!*out) throw PelmarError(failure);
}

std::wstring WithSeparator(std::wstring folder) {
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  return folder;
}

std::wstring DefaultMakerDataDir() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)))
    return {};
  return WithSeparator(path) + L"PelmarPkg\\";
}

// The folder must be a real folder, not a link to another: the SDK is
// written into it with the installer's rights. Opened without letting others
// delete or rename it, so it stays the folder that was checked while the SDK
// is unpacked, checked and loaded from it.
win::ScopedHandle HoldFolder(const std::wstring& folder) {
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    return {};
  }
  win::ScopedHandle held(CreateFileW(
      folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!held || !GetFileInformationByHandle(held.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return {};
  }
  return held;
}

// A module file opened for reading, nobody else allowed to write, delete or
// rename it while the handle lives; empty when it is missing, a link, or
// has another name elsewhere (a hard link could be changed through that).
win::ScopedHandle OpenModule(const std::wstring& path) {
  win::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
      info.nNumberOfLinks != 1) {
    return {};
  }
  return file;
}

// Whether the file's bytes have the SHA-256 `expectedHex`.
bool HasDigest(HANDLE file, const char* expectedHex) {
  // No sodium_init(): SHA-256 picks no implementation, and the call would
  // link every algorithm libsodium chooses between (about 140 KB).
  crypto_hash_sha256_state state;
  crypto_hash_sha256_init(&state);
  std::vector<unsigned char> buffer(64 * 1024);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      return false;
    }
    if (got == 0) break;
    crypto_hash_sha256_update(&state, buffer.data(), got);
  }
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256_final(&state, digest);
  char hex[crypto_hash_sha256_BYTES * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
  return std::string(hex) == expectedHex;
}

// The checked modules stay open for the rest of the run: what was checked
// is what is loaded, and what the SDK starts later (its uploader).
std::vector<win::ScopedHandle>& HeldModules() {
  static std::vector<win::ScopedHandle> held;
  return held;
}

// Checks every module the installer carries in `folder`; true when each has
// its digest, and then each is held open.
bool HoldCheckedModules(const std::wstring& folder) {
  std::vector<win::ScopedHandle> checked;
  for (const SdkModuleDigest& module : kSdkModuleDigests) {
    win::ScopedHandle file = OpenModule(folder + module.name);
    if (!file || !HasDigest(file.get(), module.sha256)) return false;
    checked.push_back(std::move(file));
  }
  for (win::ScopedHandle& file : checked) HeldModules().push_back(std::move(file));
  return true;
}

// Unpacks the carried archive from memory over whatever is there. The old
// names go first: a link left in their place is removed, not written through.
void Unpack(const std::wstring& folder, const void* archive, DWORD size) {
  for (const SdkModuleDigest& module : kSdkModuleDigests) {
    (void)DeleteFileW((folder + module.name).c_str());
  }
  (void)ExtractZipBuffer(folder, archive, size);
}

void BindCollector(HMODULE sdk, VekTables& tables) {
  auto c = std::make_unique<VekCollectorTable>();
  auto need = [&](const char* name, auto* out) {
    Required(sdk, name, out, std::string("Get ") + name + " address error");
  };
  need("vekCLTCreate", &c->create);
  need("vekCLTSensorWriteEvent", &c->writeEvent);
  need("vekCLTSensorWriteIntProperties", &c->writeIntProperty);
  need("vekCLTSensorWriteBoolProperties", &c->writeBoolProperty);
  need("vekCLTSensorWriteStringProperties", &c->writeStringProperty);
  need("vekCLTWriteInt", &c->writeInt);
  need("vekCLTWriteData", &c->writeData);
  need("vekCLTCommit", &c->commit);
  need("vekCLTFree", &c->free);
  tables.collector = std::move(c);
}

void BindUtility(HMODULE sdk, VekTables& tables) {
  auto u = std::make_unique<VekUtilityTable>();
  u->buildHttpData = Proc<VekBuildHttpDataFn>(sdk, "vekBuildHttpData");
  u->decryptData = Proc<VekDecryptDataFn>(sdk, "vekDecryptData");
  u->dataFree = Proc<VekDataFreeFn>(sdk, "vekDataFree");
  u->mid = Proc<VekMidFn>(sdk, "vekMid");
  u->midEx = Proc<VekMidExFn>(sdk, "vekMidEx");
  u->openUrl = Proc<VekOpenUrlFn>(sdk, "vekOpenUrl");
  tables.utility = std::move(u);
}

}  // namespace

void CSdkBinding::Bind(VekTables& tables, VekCrashHandler handler, void* context) {
  SdkLocations where = Locations();
  if (where.makerDataDir.empty()) where.makerDataDir = DefaultMakerDataDir();
  where.makerDataDir = WithSeparator(where.makerDataDir);

  // 1. The archive, read from our own resources in memory.
  HMODULE self = GetModuleHandleW(nullptr);
  if (!self) throw PelmarError("Get module handle failed");
  HRSRC resource = FindResourceW(self, MAKEINTRESOURCEW(kSdkResourceId), L"BinarySystem");
  if (!resource) throw PelmarError("VEK not found resource");
  const DWORD size = SizeofResource(self, resource);
  if (size == 0) throw PelmarError("VEK resource is empty");
  HGLOBAL loaded = LoadResource(self, resource);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) throw PelmarError("Load VEK resource failed");

  // 2. Under the maker data directory, a folder the signed-in user can
  // write: the copy there is used only when every module has the digest of
  // the one we carry (another installer running from it keeps its files
  // locked); otherwise ours is unpacked and checked again.
  const std::wstring folder = where.makerDataDir + L"Vek\\";
  const win::ScopedHandle makerHeld = HoldFolder(where.makerDataDir);
  const win::ScopedHandle folderHeld = makerHeld ? HoldFolder(folder) : win::ScopedHandle();
  if (!folderHeld) throw PelmarError("Create VEK cache path failed");
  if (!HoldCheckedModules(folder)) {
    Unpack(folder, bytes, size);
    if (!HoldCheckedModules(folder)) throw PelmarError("Load VEK.dll failed");
  }

  // 3. Load, bind the core and set it up.
  tables.sdkPath = folder + L"Vek.dll";
  tables.companionPath = folder + L"TaskAsUser.dll";
  HMODULE sdk = LoadLibraryExW(tables.sdkPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!sdk) throw PelmarError("Load VEK.dll failed");
  auto core = std::make_unique<VekCoreTable>();
  Required(sdk, "vekCreate", &core->create, "Get vekCreate address failed");
  Required(sdk, "vekSetApplyKey", &core->setApplyKey, "Get vekSetAppKey address failed");
  Required(sdk, "vekSetAppInfo", &core->setAppInfo, "Get vekSetAppInfo address failed");
  Required(sdk, "vekSetHostInfo", &core->setHostInfo, "Get vekSetHostInfo address failed");
  Required(sdk, "vekSetSensorUrl", &core->setSensorUrl, "Get vekSetSensorUrl failed");
  Required(sdk, "vekSetPubCertificate", &core->setPubCertificate,
           "Get vekSetPubCertificate address failed");
  Required(sdk, "vekSetPriCcertificate", &core->setPriCertificate,
           "Get vekSetPriCcertificate address failed");
  core->setMidVersion = Proc<VekSetMidVersionFn>(sdk, "vekSetMidVersion");
  core->enableCrashReport = Proc<VekEnableCrashReportFn>(sdk, "vekEnableCrashReport");
  core->free = Proc<VekFreeFn>(sdk, "vekFree");
  core->enableSandbox = Proc<VekSetIntOptionFn>(sdk, "vekEnableSandbox");
  core->setNetProtocol = Proc<VekSetIntOptionFn>(sdk, "vekSetNetProtocol");
  core->setURLVersion = Proc<VekSetURLVersionFn>(sdk, "vekSetURLVersion");
  tables.core = std::move(core);
  SetUp(*tables.core, handler, context);

  // 4. Collector and utility; a missing collector export leaves that table
  // absent but the utilities and the companion are still bound.
  std::string collectorFailure;
  try {
    BindCollector(sdk, tables);
  } catch (const PelmarError& e) {
    collectorFailure = e.what();
  }
  BindUtility(sdk, tables);

  // 5. The companion library.
  HMODULE companion =
      LoadLibraryExW(tables.companionPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!companion) throw PelmarError("Load TaskAsUser.dll failed");
  tables.runAsUser =
      std::make_unique<ShellExecAsUserFn>(Proc<ShellExecAsUserFn>(companion, "ShellExecAsUser"));
  if (!collectorFailure.empty()) throw PelmarError(collectorFailure);
}

}  // namespace pelmar
