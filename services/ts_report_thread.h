#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "base/worker_thread.h"
#include "net/http_form.h"
#include "services/machine_id_source.h"
#include "services/server_exchange.h"

namespace pelmar {

inline constexpr int kTSReportAttempts = 3;
inline constexpr const char* kTSReportPath = "/v1/install/tessel";
// The user-id library writes a NUL-terminated id into a zeroed buffer of
// this many bytes.
inline constexpr size_t kTSUidBufferSize = 33;
// Only a JSON answer counts; one this large is not the service's.
inline constexpr size_t kMaxTSAnswerBytes = 1024 * 1024;

// What the report needs from the outside; the defaults are the product's.
struct TSReportSettings {
  ServerEndpoint attribution;
  std::string hostText;  // the "Host" line's value
  int retryPauseMs = 300;
  int timeLimitMs = 5000;
  std::function<std::string()> channel;      // the run's channel (AppContext)
  std::function<std::string()> userId;       // "TSUID.dll" in the SDK folder
  std::function<std::string()> appName;      // the channel record's appName
  std::function<std::string()> machineHash;  // MD5 text of the machine identity
  std::function<std::string()> mid;          // the SDK's machine identifier
  std::function<std::string()> version;      // UTF-8 product version
};
// `ids` (the SDK's machine identifier) must outlive the report; null: no mid.
TSReportSettings DefaultTSReportSettings(IMachineIdSource* ids);

// The SDK folder ("Vek" under the maker data directory), with a trailing
// separator; empty natively.
std::wstring DefaultSdkFolder();
// The id from the user-id library "TSUID.dll" in `sdk_folder`: loaded only
// when that file exists and is not a directory, and only when nobody but the
// administrators can change the folder and the file (the installer carries
// no copy to check it against), its "GetTSUID" called with a
// zeroed kTSUidBufferSize-byte buffer, unloaded at once. Empty otherwise (and
// always natively). Reads at most kTSUidBufferSize - 1 bytes of the id.
// `onlyAdministratorsChange` judges a folder's or a file's path in tests;
// empty (the product), their access lists are read through the held handles.
using ChangeJudge = std::function<bool(const std::wstring& path)>;
std::string ReadUserIdLibrary(const std::wstring& sdk_folder,
                              const ChangeJudge& onlyAdministratorsChange = nullptr);

// Whether a security descriptor in its text form (owner and access list)
// lets only the administrators, the system and the Windows installer service
// change the object: the owner is one of them and no entry allowing a change
// names anybody else. False for text that is no descriptor, and natively.
bool OnlyAdministratorsChange(const std::wstring& descriptorText);

// Reports a finished installation once to the attribution service: a
// multipart form posted up to kTSReportAttempts times, a retry pause apart.
// Nothing is sent without a user id and an application name. Result 0 when
// an answer arrived and parsed as JSON, 1 otherwise; nobody needs it.
class CTSReportThread {
 public:
  // The failure text of a report its owner stopped.
  static constexpr const char* kStoppedFailure = "user cancel";

  // Starts the report at once.
  explicit CTSReportThread(TSReportSettings settings);
  // Requests a stop (waking a pause or a blocked exchange) and waits.
  ~CTSReportThread();
  CTSReportThread(const CTSReportThread&) = delete;
  CTSReportThread& operator=(const CTSReportThread&) = delete;

  void RequestStop() { exchange_.AskToStop(worker_); }
  // Stops the thread and waits for it to end (also what destruction does).
  void StopAndJoin() { exchange_.StopAndJoin(worker_); }
  bool IsRunning() const { return worker_.Running(); }
  // 0 after an answer that parsed as JSON, 1 otherwise; valid once not running.
  uint32_t ExitCode() const { return worker_.ExitCode(); }
  // The failure text ("" while running or after success).
  std::string LastFailure();

 private:
  uint32_t Run(CStopToken& stop);
  // The report from start to end; its failure text, empty on success.
  std::string Report(CStopToken& stop);

  TSReportSettings settings_;
  CServerExchange exchange_;
  std::mutex failure_mutex_;
  std::string failure_;  // guarded by failure_mutex_
  // Last, so the thread has ended before what it uses goes.
  CWorkerThread worker_;
};

}  // namespace pelmar
