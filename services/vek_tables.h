#pragma once

#include <memory>
#include <string>

#include "sdk/vek_api.h"

namespace pelmar {

// The SDK functions the logger calls, as bound from Vek.dll (or, in tests, a
// recording table). A null entry is an export that was not found.
struct VekCoreTable {
  VekCreateFn create = nullptr;
  VekSetApplyKeyFn setApplyKey = nullptr;
  VekSetAppInfoFn setAppInfo = nullptr;
  VekSetHostInfoFn setHostInfo = nullptr;
  VekSetSensorUrlFn setSensorUrl = nullptr;
  VekSetCertificateFn setPubCertificate = nullptr;
  VekSetCertificateFn setPriCertificate = nullptr;
  VekSetMidVersionFn setMidVersion = nullptr;          // optional
  VekEnableCrashReportFn enableCrashReport = nullptr;  // optional
  VekFreeFn free = nullptr;                            // optional
  VekSetIntOptionFn enableSandbox = nullptr;           // bound, never called
  VekSetIntOptionFn setNetProtocol = nullptr;          // bound, never called
  VekSetURLVersionFn setURLVersion = nullptr;          // bound, never called
  VekHandle handle = nullptr;                          // null: no handle
};

struct VekCollectorTable {
  VekCLTCreateFn create = nullptr;
  VekCLTSensorWriteEventFn writeEvent = nullptr;
  VekCLTSensorWriteIntFn writeIntProperty = nullptr;
  VekCLTSensorWriteBoolFn writeBoolProperty = nullptr;
  VekCLTSensorWriteStringFn writeStringProperty = nullptr;
  VekCLTWriteIntFn writeInt = nullptr;
  VekCLTWriteDataFn writeData = nullptr;
  VekCLTCommitFn commit = nullptr;
  VekCLTFreeFn free = nullptr;
};

struct VekUtilityTable {
  VekBuildHttpDataFn buildHttpData = nullptr;
  VekDecryptDataFn decryptData = nullptr;
  VekDataFreeFn dataFree = nullptr;
  VekMidFn mid = nullptr;
  VekMidExFn midEx = nullptr;
  VekOpenUrlFn openUrl = nullptr;
};

// Everything a binding produced. A missing table is a null pointer; a failed
// binding keeps what it had bound before the failure.
struct VekTables {
  std::wstring sdkPath;        // full path of "Vek.dll"
  std::wstring companionPath;  // full path of "TaskAsUser.dll"
  std::unique_ptr<VekCoreTable> core;
  std::unique_ptr<VekCollectorTable> collector;
  std::unique_ptr<VekUtilityTable> utility;
  std::unique_ptr<ShellExecAsUserFn> runAsUser;
};

}  // namespace pelmar
