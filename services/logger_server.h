#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/event_sink.h"
#include "base/x_mutex.h"
#include "services/machine_id_source.h"
#include "services/page_action_sink.h"
#include "services/record_delivery.h"
#include "services/request_sealer.h"
#include "services/url_opener.h"
#include "services/user_launcher.h"
#include "services/vek_tables.h"

namespace pelmar {

// The one gateway to the service SDK. Callers are handed only the narrow
// interface they need: the event sink (events), IPageActionSink (page
// actions), IRequestSealer (the support host's envelope), IMachineIdSource,
// IUrlOpener and IUserLauncher. What is left here belongs to start-up and
// the flow controller: launch and lifecycle records, leaving the experience
// plan, and the calling thread's pending properties, which the event sink
// is built on.
// Every Send* returns true when the SDK committed the record; senders may
// ignore the result (a dropped record is never the user's problem).
// As the event sink it sends an Event as the calling thread's pending
// properties (cleared first) and SendEvent, the same records as setting them
// by hand.
class ILoggerServer : public IEventSink,
                      public IPageActionSink,
                      public IRequestSealer,
                      public IMachineIdSource,
                      public IUrlOpener,
                      public IUserLauncher,
                      public IRecordDelivery {
 public:
  ~ILoggerServer() override = default;

  bool Send(const Event& event) override;

  // files: paths in the system code page; only existing regular files are attached.
  virtual bool SendLifecycle(int kind, const std::string& code1, const std::string& code2,
                             const std::string& code3, const std::string& code4,
                             std::vector<std::string> files) = 0;
  // Sends the calling thread's pending properties with the event; they stay pending.
  virtual bool SendEvent(const std::string& name) = 0;
  // Pending properties belong to the calling thread (see CLoggerServer).
  virtual void ClearProperties() = 0;
  virtual void SetIntProperty(const std::string& key, int32_t value) = 0;
  virtual void SetBoolProperty(const std::string& key, bool value) = 0;
  // value: UTF-8.
  virtual void SetStringProperty(const std::string& key, const std::string& value) = 0;
  virtual bool SendLaunch(int kind, const std::string& s1, const std::string& s2,
                          const std::string& s3) = 0;
  // Re-runs the SDK set-up when the handle was released; always false.
  virtual bool Reinit() = 0;
};

// Binds the SDK into `tables` (throwing PelmarError with the failing step's
// text, keeping what was bound so far). The crash handler/context go to
// vekEnableCrashReport.
using SdkBinder = std::function<void(VekTables& tables, VekCrashHandler handler, void* context)>;

// Threads: any thread may call any operation. `sdkMutex_` serialises every
// call into the SDK and the event counter; it is always the last lock taken.
// Pending properties are kept per calling thread (guarded by `propsMutex_`, a
// leaf lock held only to copy or change a map), so two threads that clear,
// set and send at the same moment each send exactly their own properties.
// A thread's set lives until that thread clears it; a thread that never
// clears keeps a small map for the life of the process.
class CLoggerServer : public ILoggerServer {
 public:
  // Production: binds the real SDK (Inert where there is none).
  CLoggerServer();
  // Tests: binds through `binder`; `nowSeconds` supplies the calendar time.
  explicit CLoggerServer(const SdkBinder& binder, std::function<int64_t()> nowSeconds = nullptr);
  ~CLoggerServer() override;
  CLoggerServer(const CLoggerServer&) = delete;
  CLoggerServer& operator=(const CLoggerServer&) = delete;

  bool SendPageAction(const std::string& page, const std::string& action,
                      const std::string& extra) override;
  bool SendLifecycle(int kind, const std::string& code1, const std::string& code2,
                     const std::string& code3, const std::string& code4,
                     std::vector<std::string> files) override;
  bool SendEvent(const std::string& name) override;
  void ClearProperties() override;
  void SetIntProperty(const std::string& key, int32_t value) override;
  void SetBoolProperty(const std::string& key, bool value) override;
  void SetStringProperty(const std::string& key, const std::string& value) override;
  bool SendLaunch(int kind, const std::string& s1, const std::string& s2,
                  const std::string& s3) override;
  std::string BuildHttpData(const std::string& path, const std::string& body) override;
  std::string DecryptData(const std::string& body) override;
  std::string GetMid() override;
  std::string GetMidEx(int value) override;
  bool Reinit() override;
  void ReleaseHandle() override;
  bool OpenUrl(const std::string& url) override;
  int RunAsUser(const std::string& verb, const std::string& fileUtf8, const char* a3 = nullptr,
                const char* a4 = nullptr, const char* a5 = nullptr) override;

  // The event id for a calendar time and counter value.
  static int32_t EventId(int64_t nowSeconds, uint32_t counter);
  // Given to vekEnableCrashReport; `context` is the CLoggerServer.
  static void VEK_CALL OnCrash(void* context, const wchar_t* dumpPath);

 private:
  struct PendingProperties {
    std::map<std::string, int32_t> ints;
    std::map<std::string, bool> bools;
    std::map<std::string, std::string> strings;
  };

  void Bind(const SdkBinder& binder);
  bool SendRecord(int type, const std::function<void(VekRecord)>& writeFields);
  PendingProperties SnapshotProperties();
  std::string CallUtility(const std::function<char*(const VekUtilityTable&, int*)>& call);

  std::wstring sdkPath_;
  std::wstring companionPath_;
  CXMutex sdkMutex_;
  std::unique_ptr<VekCoreTable> core_;            // guarded by sdkMutex_
  std::unique_ptr<VekCollectorTable> collector_;  // guarded by sdkMutex_
  std::unique_ptr<VekUtilityTable> utility_;      // guarded by sdkMutex_
  std::unique_ptr<ShellExecAsUserFn> runAsUser_;  // set at construction only
  uint32_t eventCounter_ = 0;                     // guarded by sdkMutex_
  std::function<int64_t()> nowSeconds_;

  // Recursive: the crash handler may run on a thread that faulted while
  // holding it, and must not hang the dying process.
  std::recursive_mutex propsMutex_;
  std::map<std::thread::id, PendingProperties> pending_;  // guarded by propsMutex_
};

// The process's logger, created (and the SDK bound) on first call.
ILoggerServer* GetLogger();

}  // namespace pelmar
