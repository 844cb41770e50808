#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "base/worker_thread.h"
#include "download/install_run_rules.h"
#include "download/setup_runner.h"

namespace pelmar {

class IDownloader;
class IEventSink;

// Where an install run stands, as the progress page paints it.
enum class InstallPhase {
  kIdle,         // not started, or stopped
  kDownloading,  // the download controller is fetching and checking
  kInstalling,   // the setup program runs
  kFinished,     // the setup program ended with exit code 0
  kFailed,       // see InstallFailure; the run has ended
};
enum class InstallFailure { kNone, kDownload, kSetup };

struct InstallSnapshot {
  InstallPhase phase = InstallPhase::kIdle;
  int percent = 0;  // the bar: 0..80 downloading, 80..99 installing
  InstallFailure failure = InstallFailure::kNone;
};

// What an install run is handed.
struct InstallRunServices {
  // Makes the download controller on the first Start; null result: none.
  std::function<IDownloader*()> createDownloader;
  ISetupRunner* setupRunner = nullptr;  // not owned
  IEventSink* events = nullptr;         // not owned; null: the process's sink
  // Milliseconds of a monotonic clock (differences are taken, so it may
  // wrap); empty: the steady clock.
  std::function<uint32_t()> clockMs;
  uint32_t setupRunLimitMs = kSetupRunLimitMs;
  // How often the worker looks at the download and the setup program.
  uint32_t pollPeriodMs = 50;
};

// The progress page's work off its window: a worker polls the download
// controller, starts the setup program from the checked file while the
// download still holds it, watches the program until it ends, and sends the
// run's events ("pSoftDownloadResult" for a failed download,
// "vSoftInstallStart", "vSoftInstallError"); the page only reads Snapshot().
//
// Threads: Start, Stop, WorkersEnded, DownloadUrl, SetupProgramPath and
// destruction belong to the owner's thread (the page's); Snapshot and
// RequestQuit to any thread. The download controller and the setup process
// are touched by the worker while it runs and by the owner only when no
// worker runs, so neither needs a lock; `snapshot_mutex_` guards only the
// snapshot and is never held across a call out.
class CInstallRun {
 public:
  explicit CInstallRun(InstallRunServices services);
  // Stops (waiting for a setup program still running), then the controller goes.
  ~CInstallRun();
  CInstallRun(const CInstallRun&) = delete;
  CInstallRun& operator=(const CInstallRun&) = delete;

  // Stops a run in progress, then starts (or resumes) the download into a
  // run that installs into `installPath`. False when the controller cannot
  // be made or will not start, or no worker can run; the caller reports
  // that as a failed download (nothing is sent here).
  [[nodiscard]] bool Start(const std::wstring& installPath, bool joinedPlan);
  // Ends the worker. A setup program still running is waited for without
  // limit, as an installation must not be cut. The download is left as it
  // is, so a later Start resumes it.
  void Stop();
  // For a quit: asks the worker to end without waiting. WorkersEnded then
  // also asks the download's threads to end, once the worker has.
  void RequestQuit();
  [[nodiscard]] bool WorkersEnded();

  InstallSnapshot Snapshot() const;

  // For the reminders after a failure, when no worker runs: the address the
  // download used and the downloaded file's path.
  std::string DownloadUrl();
  std::wstring SetupProgramPath();

 private:
  struct DownloaderDeleter {
    void operator()(IDownloader* d) const;
  };

  uint32_t Drive(CStopToken& stop);
  // One look at the download or the setup program; false once the run has ended.
  [[nodiscard]] bool Step();
  [[nodiscard]] bool StepDownload();
  [[nodiscard]] bool StepSetup();
  // Creates the setup process from the held file; false when no checked file
  // was held (nothing is started then).
  [[nodiscard]] bool StartSetup();
  void OnSetupEnded(bool exitCodeRead, uint32_t exitCode);
  void FailDownload();
  void Publish(InstallPhase phase, int percent, InstallFailure failure = InstallFailure::kNone);
  uint32_t NowMs() const;
  IEventSink* Events() const;

  const InstallRunServices services_;

  // Owner's thread, or the worker while it runs (see the class note).
  std::unique_ptr<IDownloader, DownloaderDeleter> download_;
  std::unique_ptr<ISetupProcess> setup_;
  std::wstring installPath_;
  bool joinedPlan_ = true;
  bool installing_ = false;
  uint32_t setupStartMs_ = 0;
  // Owner's thread only: the download's threads were asked to end for a quit.
  bool quitStopSent_ = false;

  mutable std::mutex snapshot_mutex_;
  InstallSnapshot snapshot_;  // guarded by snapshot_mutex_

  // Last, so it is destroyed (and its thread ended) before what it uses.
  CWorkerThread worker_;
};

}  // namespace pelmar
