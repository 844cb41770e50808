#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace pelmar {

// One step mark of start-up as the trace file holds it.
struct StartupMark {
  std::string step;
  double ms = 0;                // system-wide monotonic clock, milliseconds
  uint64_t workingSet = 0;      // bytes, at the mark
  uint64_t peakWorkingSet = 0;  // bytes, the process's peak so far
};

// Start-up's step marks, for the start-up benchmark (bench/startup_bench):
// when the environment variable PELMAR_STARTUP_TRACE names a file, each Mark
// appends one line "step<TAB>ms<TAB>working set<TAB>peak working set" to it,
// flushed at once, so a reader sees the marks while the process still runs.
// The clock is the one every process of the system shares (the performance
// counter on Windows), so the bench puts the marks on its own time line.
// Without the variable a mark costs one test of a flag. Any thread may mark.
class CStartupTrace {
 public:
  // A trace into `path` (UTF-8); an empty path, or one that cannot be
  // opened, marks nothing.
  explicit CStartupTrace(const std::string& path);
  ~CStartupTrace();
  CStartupTrace(const CStartupTrace&) = delete;
  CStartupTrace& operator=(const CStartupTrace&) = delete;

  // `detail`, when given, follows the step after a space ("picture logo.png").
  void Mark(std::string_view step, std::string_view detail = {});
  bool enabled() const { return file_ != nullptr; }

  // The process's trace, opened on first use from PELMAR_STARTUP_TRACE.
  static CStartupTrace& Process();

  // The marks of a trace file's text, in file order; lines that are not
  // marks (a torn last line of a file still being written) are skipped.
  static std::vector<StartupMark> Parse(std::string_view text);

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;  // guarded by mutex_ once open
};

// The process trace's mark, the form start-up's code uses.
inline void MarkStartup(std::string_view step, std::string_view detail = {}) {
  CStartupTrace& trace = CStartupTrace::Process();
  if (trace.enabled()) trace.Mark(step, detail);
}

// Platform parts: the shared clock, the process's working set, the trace
// file (opened for appending) and the variable naming it (UTF-8, "" unset).
double StartupTraceClockMs();
void StartupTraceWorkingSet(uint64_t* current, uint64_t* peak);
std::FILE* OpenStartupTraceFile(const std::string& utf8Path);
std::string StartupTraceVariable();

}  // namespace pelmar
