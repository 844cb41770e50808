#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "base/pelmar_based_thread.h"
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

// How one kind of record is asked for and read, on the reader's thread.
template <typename Record>
class IRecordSource {
 public:
  virtual ~IRecordSource() = default;
  // Asks through `exchange` (which a stop wakes) and reads the answer into
  // `record`: true with a record, false when there is nothing to ask for.
  // Throws (PelmarError) with the failure text, "user cancel" on a stop.
  virtual bool Read(CServerExchange* exchange, Record* record) = 0;
};

// The start and stop of a record reader, whatever the record: a thread that
// runs one read, and the exchange through which a stop wakes it.
class CRecordReaderBase : public CPelmarBasedThread {
 public:
  // Wakes a pause and a blocked exchange; the read ends with "user cancel"
  // unless it already has its answer.
  void RequestStop() { exchange_.RequestStop(); }
  // Stops the thread and waits for Run to return (also what destruction does).
  void StopAndJoin();
  // Stops the thread, waking it for at most `milliseconds`; true (and joined)
  // when it ended by then, false when it is still inside a call that neither
  // the stop nor its time limits have ended yet (a connect or a name lookup
  // the system still waits for). The thread then keeps running and this
  // object must outlive it.
  [[nodiscard]] bool StopWithin(int milliseconds);

 protected:
  CRecordReaderBase() = default;
  // Runs the read and reports its end; 0 when it ended normally, 1 on failure.
  uint32_t Run() final;
  // Reads and keeps the record (or notes there was none); throws on failure.
  virtual void ReadAndKeep() = 0;
  // Keeps the failure text of a read that threw.
  virtual void KeepFailure(const std::string& text) = 0;

  CServerExchange exchange_;
};

// Reads one record of type `Record` from `source` into `keeper`, once, on a
// thread of its own that starts at construction. The keeper must outlive it
// (destruction stops and joins the thread).
template <typename Record>
class CRecordReaderThread final : public CRecordReaderBase {
 public:
  CRecordReaderThread(IRecordKeeper<Record>* keeper, std::unique_ptr<IRecordSource<Record>> source)
      : keeper_(keeper), source_(std::move(source)) {
    Release();
  }
  ~CRecordReaderThread() override { StopAndJoin(); }

 private:
  void ReadAndKeep() override {
    Record record;
    if (source_->Read(&exchange_, &record)) {
      keeper_->Store(record);
    } else {
      keeper_->Finish();
    }
  }
  void KeepFailure(const std::string& text) override { keeper_->Fail(text); }

  IRecordKeeper<Record>* keeper_;
  std::unique_ptr<IRecordSource<Record>> source_;
};

}  // namespace pelmar
