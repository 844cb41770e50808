#include "services/pkg_info.h"

#include <memory>
#include <mutex>
#include <utility>

#include "services/pkg_record_source.h"

namespace pelmar {

CPkgInfo::CPkgInfo(std::unique_ptr<IRecordSource<PkgRecord>> source) {
  IRecordKeeper<PkgRecord>* keeper = this;  // a private base: converted here, inside
  reader_ = std::make_unique<CRecordReaderThread<PkgRecord>>(keeper, std::move(source));
}

CPkgInfo::CPkgInfo(PkgInfoSettings settings)
    : CPkgInfo(std::make_unique<PkgRecordSource>(std::move(settings))) {}

CPkgInfo::~CPkgInfo() { reader_.reset(); }

void CPkgInfo::RequestStop() { reader_->RequestStop(); }

void CPkgInfo::StopReader() { reader_->StopAndJoin(); }

bool CPkgInfo::StopReaderWithin(int milliseconds) {
  const bool ended = reader_->StopWithin(milliseconds);
  abandoned_.store(!ended);
  return ended;
}

int64_t CPkgInfo::Size() {
  std::lock_guard<CXMutex> lock(mutex_);
  return record_.size;
}

int64_t CPkgInfo::OriginSize() {
  std::lock_guard<CXMutex> lock(mutex_);
  return record_.originSize;
}

std::string CPkgInfo::Version() {
  std::lock_guard<CXMutex> lock(mutex_);
  return record_.version;
}

size_t CPkgInfo::UrlCount() {
  std::lock_guard<CXMutex> lock(mutex_);
  return record_.urls.size();
}

std::string CPkgInfo::UrlAt(size_t index) {
  std::lock_guard<CXMutex> lock(mutex_);
  return index < record_.urls.size() ? record_.urls[index].url : std::string();
}

std::string CPkgInfo::Md5() {
  std::lock_guard<CXMutex> lock(mutex_);
  return record_.md5;
}

std::string CPkgInfo::ReleaseStatement() {
  std::lock_guard<CXMutex> lock(mutex_);
  return record_.releaseStatement;
}

std::string CPkgInfo::ReleaseSignature() {
  std::lock_guard<CXMutex> lock(mutex_);
  return record_.releaseSignature;
}

void CPkgInfo::Reset() {
  std::lock_guard<CXMutex> lock(mutex_);
  record_.packageName.clear();
  record_.version.clear();
  record_.md5.clear();
  record_.releaseStatement.clear();
  record_.releaseSignature.clear();
  record_.size = 0;
  record_.originSize = 0;
  record_.urls.clear();
}

std::string CPkgInfo::LastFailure() {
  std::lock_guard<CXMutex> lock(mutex_);
  return failure_;
}

void CPkgInfo::Store(const PkgRecord& record) {
  {
    std::lock_guard<CXMutex> lock(mutex_);
    record_ = record;
    SortUrlsByRank(&record_.urls);
  }
  status_.store(1);
}

// The package reader always has a request to send: a run without a record
// ends as a failure, never here.
void CPkgInfo::Finish() { status_.store(1); }

void CPkgInfo::Fail(const std::string& text) {
  {
    std::lock_guard<CXMutex> lock(mutex_);
    failure_ = text;
  }
  status_.store(2);
}

namespace {
// Set once the process record exists; read by the stop function, which must
// not create it.
std::atomic<CPkgInfo*> g_instance{nullptr};

// An abandoned record still has a running reader that uses it: it is left
// to the process exit, which ends that thread, rather than freed under it.
struct RecordDeleter {
  void operator()(CPkgInfo* record) const {
    if (!record->Abandoned()) delete record;
  }
};

}  // namespace

IPkgInfo* GetPkgInfo() {
  // Guarded static: made once, stopped and joined at process exit.
  static const std::unique_ptr<CPkgInfo, RecordDeleter> instance = []() {
    try {
      return std::unique_ptr<CPkgInfo, RecordDeleter>(new CPkgInfo());
    } catch (...) {
      return std::unique_ptr<CPkgInfo, RecordDeleter>();
    }
  }();
  g_instance.store(instance.get());
  return instance.get();
}

bool StopPkgInfoReader(int milliseconds) {
  CPkgInfo* instance = g_instance.load();
  return instance == nullptr || instance->StopReaderWithin(milliseconds);
}

}  // namespace pelmar
