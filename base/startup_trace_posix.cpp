#include "base/startup_trace.h"

#include <sys/resource.h>
#include <unistd.h>
#include <time.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace pelmar {

double StartupTraceClockMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

void StartupTraceWorkingSet(uint64_t* current, uint64_t* peak) {
  *current = *peak = 0;
  // Resident pages: the second field of statm.
  std::ifstream statm("/proc/self/statm");
  unsigned long long size = 0, resident = 0;
  if (statm >> size >> resident) *current = resident * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) == 0) *peak = static_cast<uint64_t>(usage.ru_maxrss) * 1024u;
  // The kernel's peak is brought up to date only now and then.
  if (*peak < *current) *peak = *current;
}

std::FILE* OpenStartupTraceFile(const std::string& utf8Path) {
  return std::fopen(utf8Path.c_str(), "ab");
}

std::string StartupTraceVariable() {
  const char* value = std::getenv("PELMAR_STARTUP_TRACE");
  return value ? std::string(value) : std::string();
}

}  // namespace pelmar
