#include "services/sdk_binding.h"

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "base/file_stream.h"
#include "base/pelmar_error.h"
#include "base/zip_extract.h"

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

std::wstring DefaultCacheDir() {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, path);
  return n == 0 || n > MAX_PATH ? std::wstring() : WithSeparator(std::wstring(path, n));
}

bool EnsureFolder(const std::wstring& folder) {
  if (CreateDirectoryW(folder.c_str(), nullptr)) return true;
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void SaveFile(const std::wstring& path, const void* data, DWORD size) {
  try {
    NativeFile file = OpenFileStream(kModeCreate, path);
    CFileStream stream(file);
    if (stream.Write(data, size) != static_cast<int32_t>(size))
      throw PelmarError("Save VEK resource failed");
  } catch (const PelmarError&) {
    throw PelmarError("Save VEK resource failed");
  }
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
  if (where.runCacheDir.empty()) where.runCacheDir = DefaultCacheDir();
  where.makerDataDir = WithSeparator(where.makerDataDir);
  where.runCacheDir = WithSeparator(where.runCacheDir);

  // 1. The archive from our own resources into the run cache directory.
  HMODULE self = GetModuleHandleW(nullptr);
  if (!self) throw PelmarError("Get module handle failed");
  HRSRC resource = FindResourceW(self, MAKEINTRESOURCEW(kSdkResourceId), L"BinarySystem");
  if (!resource) throw PelmarError("VEK not found resource");
  const DWORD size = SizeofResource(self, resource);
  if (size == 0) throw PelmarError("VEK resource is empty");
  HGLOBAL loaded = LoadResource(self, resource);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) throw PelmarError("Load VEK resource failed");
  const std::wstring archive = where.runCacheDir + L"Vek.zip";
  SaveFile(archive, bytes, size);

  // 2. Unpacked under the maker data directory. Another installer that has
  // the SDK loaded keeps its files locked; the copy already there is then
  // used, so a failed unpack is not fatal (a missing Vek.dll is, below).
  const std::wstring folder = where.makerDataDir + L"Vek\\";
  if (!EnsureFolder(where.makerDataDir) || !EnsureFolder(folder))
    throw PelmarError("Create VEK cache path failed");
  (void)ExtractZipFile(folder, archive);

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
