#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "base/release_statement.h"

namespace pelmar {

// The package record as the download reads it: the server's record (through
// the package information service) or one given on a command line.
// Implementations are read from the query thread and the controller's caller
// thread at once, so every accessor returns a copy taken under a lock.
class IPackageRecord {
 public:
  enum Status { kReading = 0, kReady = 1, kFailed = 2 };
  virtual ~IPackageRecord() = default;
  virtual int GetStatus() = 0;
  // The package version (system code page text); empty when unknown.
  virtual std::string GetVersion() = 0;
  // The download URLs in the record's order.
  virtual std::vector<std::string> GetUrls() = 0;
  // The package digest as sent by the server; empty when there is none.
  virtual std::string GetMd5() = 0;
  // The maker's signed release statement the record carries; empty when it
  // has none (the query then looks for "<address>.sig" beside the download).
  virtual SignedReleaseText GetRelease() = 0;
};

// A record whose values are given, not fetched: the command-line driver's
// record, and a record whose status can change while a query waits for it.
class CFixedPackageRecord : public IPackageRecord {
 public:
  CFixedPackageRecord(std::vector<std::string> urls, std::string md5, std::string version,
                      int status = kReady, SignedReleaseText release = {})
      : status_(status),
        urls_(std::move(urls)),
        md5_(std::move(md5)),
        version_(std::move(version)),
        release_(std::move(release)) {}

  int GetStatus() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return status_;
  }
  std::string GetVersion() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return version_;
  }
  std::vector<std::string> GetUrls() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return urls_;
  }
  std::string GetMd5() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return md5_;
  }
  SignedReleaseText GetRelease() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return release_;
  }
  void SetStatus(int status) {
    std::lock_guard<std::mutex> lock(mutex_);
    status_ = status;
  }
  void SetMd5(std::string md5) {
    std::lock_guard<std::mutex> lock(mutex_);
    md5_ = std::move(md5);
  }
  void SetRelease(SignedReleaseText release) {
    std::lock_guard<std::mutex> lock(mutex_);
    release_ = std::move(release);
  }

 private:
  std::mutex mutex_;
  int status_;                     // guarded by mutex_
  std::vector<std::string> urls_;  // guarded by mutex_
  std::string md5_;                // guarded by mutex_
  std::string version_;            // guarded by mutex_
  SignedReleaseText release_;      // guarded by mutex_
};

}  // namespace pelmar
