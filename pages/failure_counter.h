#pragma once

#include <atomic>

namespace pelmar {

// Counts the failures of one kind (download or setup) for the whole run; a
// retry never resets it. The first failures offer a retry, the last one the
// manual way and the end of the installer.
class CFailureCounter {
 public:
  // The failure that ends the installer with a reminder instead of a retry.
  static constexpr int kFinalFailure = 3;

  // Counts one more failure and returns the new count.
  int Record() { return ++count_; }
  int count() const { return count_.load(); }
  static bool OffersRetry(int count) { return count < kFinalFailure; }
  // Tests: a fresh run.
  void ResetForTesting() { count_.store(0); }

  // The process's two counters.
  static CFailureCounter& Downloads();
  static CFailureCounter& Setups();

 private:
  std::atomic<int> count_{0};
};

}  // namespace pelmar
