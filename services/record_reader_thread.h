#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "base/stop_token.h"
#include "base/worker_thread.h"
#include "services/server_exchange.h"

namespace pelmar {

// Where a record is kept: the reader hands it the record it read, or says
// that there was nothing to ask for, or gives the failure text. Called on
// the reader's thread, once per run.
template <typename Record>
class IRecordKeeper {
 public:
  virtual ~IRecordKeeper() = default;
  virtual void Store(const Record& record) = 0;
  virtual void Finish() = 0;
  virtual void Fail(const std::string& text) = 0;
};

// How one read ended.
struct RecordRead {
  enum class End { kRecord, kNothing, kStopped, kFailed };
  // The failure text a stopped read keeps.
  static constexpr const char* kStoppedText = "user cancel";

  End end = End::kFailed;
  std::string failure;  // kFailed: its text

  static RecordRead Record() { return {End::kRecord, {}}; }
  static RecordRead Nothing() { return {End::kNothing, {}}; }
  static RecordRead Stopped() { return {End::kStopped, {}}; }
  static RecordRead Failed(std::string text) { return {End::kFailed, std::move(text)}; }
};

// How one kind of record is asked for and read, on the reader's thread.
template <typename Record>
class IRecordSource {
 public:
  virtual ~IRecordSource() = default;
  // Asks through `exchange` under the reader's `stop` (pausing with
  // stop.WaitFor, which a stop wakes) and reads the answer into `record`.
  virtual RecordRead Read(CServerExchange& exchange, CStopToken& stop, Record* record) = 0;
};

// The stop of a record reader, whatever the record: its worker, and the
// exchange whose socket a stop shuts down.
// Threads: Start, StopAndJoin, StopWithin and destruction belong to the
// owner; any thread may call RequestStop, IsRunning and ExitCode.
class CRecordReaderControl {
 public:
  CRecordReaderControl() = default;
  ~CRecordReaderControl() { StopAndJoin(); }
  CRecordReaderControl(const CRecordReaderControl&) = delete;
  CRecordReaderControl& operator=(const CRecordReaderControl&) = delete;

  // Runs `read` on the worker; its result is the worker's exit code.
  // Without a thread the record is never read (the status stays "running").
  void Start(std::function<uint32_t(CServerExchange&, CStopToken&)> read);
  // Wakes a pause and a blocked exchange; the read ends as stopped unless
  // it already has its answer.
  void RequestStop() { exchange_.AskToStop(worker_); }
  // Stops the worker and waits for it to end.
  void StopAndJoin() { exchange_.StopAndJoin(worker_); }
  // Stops the worker, waking it for at most `milliseconds`; true (and joined)
  // when it ended by then, false when it is still inside a call that neither
  // the stop nor its time limits have ended yet (a connect or a name lookup
  // the system still waits for). The worker then keeps running and this
  // object must outlive it.
  [[nodiscard]] bool StopWithin(int milliseconds);
  bool IsRunning() const { return worker_.Running(); }
  // 0 when the read ended normally, 1 when it failed; valid once not running.
  uint32_t ExitCode() const { return worker_.ExitCode(); }

 private:
  CServerExchange exchange_;
  CWorkerThread worker_;  // last: its thread ends before the exchange goes
};

// Runs a source's read, catching what a library throws inside it (a
// conversion error of the JSON library keeps its text).
RecordRead GuardedRead(const std::function<RecordRead()>& read);

// Reads one record of type `Record` from `source` into `keeper`, once, on a
// worker of its own that starts at construction. The keeper must outlive it
// (destruction stops and joins the worker).
template <typename Record>
class CRecordReaderThread final {
 public:
  CRecordReaderThread(IRecordKeeper<Record>* keeper, std::unique_ptr<IRecordSource<Record>> source)
      : keeper_(keeper), source_(std::move(source)) {
    control_.Start([this](CServerExchange& exchange, CStopToken& stop) {
      return ReadAndKeep(exchange, stop);
    });
  }
  ~CRecordReaderThread() { control_.StopAndJoin(); }
  CRecordReaderThread(const CRecordReaderThread&) = delete;
  CRecordReaderThread& operator=(const CRecordReaderThread&) = delete;

  void RequestStop() { control_.RequestStop(); }
  void StopAndJoin() { control_.StopAndJoin(); }
  [[nodiscard]] bool StopWithin(int milliseconds) { return control_.StopWithin(milliseconds); }
  bool IsRunning() const { return control_.IsRunning(); }
  uint32_t ExitCode() const { return control_.ExitCode(); }

 private:
  // 0 when the read ended normally, 1 on failure (a stop included).
  uint32_t ReadAndKeep(CServerExchange& exchange, CStopToken& stop) {
    Record record;
    const RecordRead read = GuardedRead([&] { return source_->Read(exchange, stop, &record); });
    switch (read.end) {
      case RecordRead::End::kRecord:
        keeper_->Store(record);
        return 0;
      case RecordRead::End::kNothing:
        keeper_->Finish();
        return 0;
      case RecordRead::End::kStopped:
        keeper_->Fail(RecordRead::kStoppedText);
        return 1;
      case RecordRead::End::kFailed:
        break;
    }
    keeper_->Fail(read.failure);
    return 1;
  }

  IRecordKeeper<Record>* const keeper_;
  const std::unique_ptr<IRecordSource<Record>> source_;
  CRecordReaderControl control_;  // last: it uses the keeper and the source
};

}  // namespace pelmar
