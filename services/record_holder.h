#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "base/x_mutex.h"
#include "services/record_reader_thread.h"

namespace pelmar {

// Keeps one server record of type `Record` that its reader fills once, on
// the reader's own thread, started at construction.
// Threads: the reader stores the record (or the failure) once under the
// lock; any thread reads it through Read(), which takes the same lock. The
// reader talks to a member, not to a base, so nothing it uses changes while
// a derived record is being destroyed and the reader is stopped.
template <typename Record>
class CRecordHolder {
 public:
  // What a stored record goes through before it is kept (the package record
  // sorts its URLs); runs on the reader's thread under the lock.
  using Arrange = void (*)(Record* record);

  explicit CRecordHolder(std::unique_ptr<IRecordSource<Record>> source, Arrange arrange = nullptr)
      : kept_(arrange),
        reader_(std::make_unique<CRecordReaderThread<Record>>(&kept_, std::move(source))) {}
  // Stops the reader (waking a pause or a blocked exchange) and waits for it.
  virtual ~CRecordHolder() { reader_.reset(); }
  CRecordHolder(const CRecordHolder&) = delete;
  CRecordHolder& operator=(const CRecordHolder&) = delete;

  // 0 while the reader runs, 1 once it ended normally, 2 when it failed.
  int ReaderStatus() const { return kept_.status.load(); }
  // The reader's failure text ("" while running or after success).
  std::string LastFailure() {
    std::lock_guard<CXMutex> lock(kept_.mutex);
    return kept_.failure;
  }
  // One stop request without waiting; the destructor repeats it until the
  // reader has ended, then waits.
  void RequestStop() { reader_->RequestStop(); }
  // Stops the reader and waits for it; the record stays readable.
  void StopReader() { reader_->StopAndJoin(); }
  // Stops the reader, waiting at most `milliseconds`. False when it is still
  // running: the record is then abandoned, and the process record is left
  // to the process exit instead of being destroyed under its thread.
  [[nodiscard]] bool StopReaderWithin(int milliseconds) {
    const bool ended = reader_->StopWithin(milliseconds);
    abandoned_.store(!ended);
    return ended;
  }
  bool Abandoned() const { return abandoned_.load(); }

 protected:
  // `look` sees the record under the lock; what it returns is a copy.
  template <typename Look>
  auto Read(Look look) {
    std::lock_guard<CXMutex> lock(kept_.mutex);
    return look(static_cast<const Record&>(kept_.record));
  }
  template <typename Change>
  void Update(Change change) {
    std::lock_guard<CXMutex> lock(kept_.mutex);
    change(&kept_.record);
  }

 private:
  struct Kept : IRecordKeeper<Record> {
    explicit Kept(Arrange how) : arrange(how) {}
    void Store(const Record& fresh) override {
      {
        std::lock_guard<CXMutex> lock(mutex);
        record = fresh;
        if (arrange != nullptr) arrange(&record);
      }
      status.store(1);
    }
    void Finish() override { status.store(1); }
    void Fail(const std::string& text) override {
      {
        std::lock_guard<CXMutex> lock(mutex);
        failure = text;
      }
      status.store(2);
    }

    const Arrange arrange;
    std::atomic<int> status{0};
    CXMutex mutex;
    Record record;        // guarded by mutex
    std::string failure;  // guarded by mutex
  };

  Kept kept_;
  std::atomic<bool> abandoned_{false};
  std::unique_ptr<CRecordReaderThread<Record>> reader_;  // last: it uses kept_
};

// The process's record of one kind (`Holder`): created, and its reader
// started, on the first Get() (with the default settings) or Make() (with
// what the composition root hands in), whichever comes first; stopped and
// destroyed at process exit, unless it was abandoned with a reader still
// running, which is then left to the process exit rather than freed under
// its thread.
template <typename Holder>
class ProcessRecord {
 public:
  // Null only when it could not be made.
  static Holder* Get() {
    return Make([] { return new Holder(); });
  }
  // `make` runs only when the record does not exist yet.
  static Holder* Make(const std::function<Holder*()>& make) {
    // Guarded static: made once, stopped and joined at process exit.
    static const std::unique_ptr<Holder, Deleter> instance = [&make]() {
      try {
        return std::unique_ptr<Holder, Deleter>(make());
      } catch (...) {
        return std::unique_ptr<Holder, Deleter>();
      }
    }();
    made_.store(instance.get());
    return instance.get();
  }
  // The record when it was made, else null; never makes it.
  static Holder* Made() { return made_.load(); }
  // Stops the reader of the record, when it was made, waiting at most
  // `milliseconds`; true when no reader is left running. Never makes it.
  [[nodiscard]] static bool StopReaderWithin(int milliseconds) {
    Holder* holder = made_.load();
    return holder == nullptr || holder->StopReaderWithin(milliseconds);
  }

 private:
  struct Deleter {
    void operator()(Holder* holder) const {
      if (!holder->Abandoned()) delete holder;
    }
  };
  static inline std::atomic<Holder*> made_{nullptr};
};

}  // namespace pelmar
