#pragma once

// The exports of Vek.dll and TaskAsUser.dll, shared by the SDK itself and the
// installer's binding. Every export uses the __stdcall convention and is
// exported undecorated (no "@n" suffix), so GetProcAddress finds it by the
// plain name. Status results: 0 success, anything else failure.

#include <stdint.h>
#include <wchar.h>

#if defined(_WIN32)
#define VEK_CALL __stdcall
#else
#define VEK_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef void* VekHandle;  // one configured SDK instance
typedef void* VekRecord;  // one record under construction

// Called from the unhandled-exception filter with the wide path of the
// minidump just written.
typedef void(VEK_CALL* VekCrashHandler)(void* context, const wchar_t* dumpPath);

// Core.
typedef int(VEK_CALL* VekCreateFn)(VekHandle* out);
typedef int(VEK_CALL* VekSetApplyKeyFn)(VekHandle handle, const char* appId, const char* appKey);
typedef int(VEK_CALL* VekSetAppInfoFn)(VekHandle handle, const char* appName, int reserved1,
                                       int reserved2);
typedef int(VEK_CALL* VekSetHostInfoFn)(VekHandle handle, const char* host, int port);
typedef int(VEK_CALL* VekSetSensorUrlFn)(VekHandle handle, const char* path);
typedef int(VEK_CALL* VekSetCertificateFn)(VekHandle handle, const char* base64Der);
typedef int(VEK_CALL* VekSetMidVersionFn)(VekHandle handle, int version);
typedef int(VEK_CALL* VekEnableCrashReportFn)(VekHandle handle, VekCrashHandler handler,
                                              void* context);
typedef int(VEK_CALL* VekFreeFn)(VekHandle handle);
typedef int(VEK_CALL* VekSetIntOptionFn)(VekHandle handle, int value);  // sandbox, protocol
typedef int(VEK_CALL* VekSetURLVersionFn)(VekHandle handle, const char* version);

// Collector.
typedef int(VEK_CALL* VekCLTCreateFn)(VekHandle handle, int type, VekRecord* out);
typedef int(VEK_CALL* VekCLTSensorWriteEventFn)(VekRecord record, const char* name, int eventId);
typedef int(VEK_CALL* VekCLTSensorWriteIntFn)(VekRecord record, const char* key, int value);
typedef int(VEK_CALL* VekCLTSensorWriteBoolFn)(VekRecord record, const char* key,
                                               unsigned char value);
typedef int(VEK_CALL* VekCLTSensorWriteStringFn)(VekRecord record, const char* key,
                                                 const char* value);
typedef int(VEK_CALL* VekCLTWriteIntFn)(VekRecord record, int field, int value);
typedef int(VEK_CALL* VekCLTWriteDataFn)(VekRecord record, int field, const void* bytes,
                                         int length);
typedef int(VEK_CALL* VekCLTCommitFn)(VekRecord record);
typedef int(VEK_CALL* VekCLTFreeFn)(VekRecord record);

// Utility. Every returned buffer is released with vekDataFree; null (or an
// out length <= 0) is failure.
typedef char*(VEK_CALL* VekBuildHttpDataFn)(const char* path, const char* body, int length,
                                            int* outLength, int reserved, const char* version);
typedef char*(VEK_CALL* VekDecryptDataFn)(const char* body, int length, int* outLength);
typedef void(VEK_CALL* VekDataFreeFn)(void* buffer);
typedef char*(VEK_CALL* VekMidFn)(void);
typedef char*(VEK_CALL* VekMidExFn)(int version);
typedef int(VEK_CALL* VekOpenUrlFn)(const char* url);

// TaskAsUser.dll. Non-zero: the program was started.
typedef int(VEK_CALL* ShellExecAsUserFn)(const char* verb, const char* fileUtf8, const char* a3,
                                         const char* a4, const char* a5);

// Record types of vekCLTCreate.
enum {
  kVekRecordLaunch = 1,
  kVekRecordPageAction = 2,
  kVekRecordLifecycle = 4,
  kVekRecordEvent = 6
};

#ifdef __cplusplus
}
#endif
