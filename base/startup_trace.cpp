#include "base/startup_trace.h"

#include <cmath>
#include <cstdlib>

#include "base/text_split.h"

namespace pelmar {
namespace {

// Step names are the program's own words; a tab or line break in a detail
// (a file name) would break the line's fields.
void AppendField(std::string* line, std::string_view text) {
  for (char c : text) line->push_back(c == '\t' || c == '\n' || c == '\r' ? ' ' : c);
}

bool ParseUnsigned(std::string_view text, uint64_t* value) {
  if (text.empty() || text.size() > 19) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  *value = v;
  return true;
}

bool ParseMs(std::string_view field, double* value) {
  if (field.empty() || field.size() > 32) return false;
  const std::string text(field);
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(v) || v < 0) return false;
  *value = v;
  return true;
}

}  // namespace

CStartupTrace::CStartupTrace(const std::string& path) {
  if (!path.empty()) file_ = OpenStartupTraceFile(path);
}

CStartupTrace::~CStartupTrace() {
  if (file_) std::fclose(file_);
}

void CStartupTrace::Mark(std::string_view step, std::string_view detail) {
  if (!file_) return;
  const double ms = StartupTraceClockMs();
  uint64_t current = 0, peak = 0;
  StartupTraceWorkingSet(&current, &peak);
  std::string line;
  AppendField(&line, step);
  if (!detail.empty()) {
    line.push_back(' ');
    AppendField(&line, detail);
  }
  char numbers[96];
  std::snprintf(numbers, sizeof numbers, "\t%.3f\t%llu\t%llu\n", ms,
                static_cast<unsigned long long>(current), static_cast<unsigned long long>(peak));
  line += numbers;
  std::lock_guard<std::mutex> lock(mutex_);
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}

CStartupTrace& CStartupTrace::Process() {
  // Never destroyed: marks may come from threads that outlive static
  // destruction (workers left to the process exit).
  static CStartupTrace* trace = new CStartupTrace(StartupTraceVariable());
  return *trace;
}

std::vector<StartupMark> CStartupTrace::Parse(std::string_view text) {
  std::vector<StartupMark> marks;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    // A line without its break is still being written.
    if (end == std::string_view::npos) break;
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    const std::vector<std::string_view> fields = SplitKeepingEmpty(line, '\t');
    StartupMark mark;
    if (fields.size() != 4 || fields[0].empty() || !ParseMs(fields[1], &mark.ms) ||
        !ParseUnsigned(fields[2], &mark.workingSet) ||
        !ParseUnsigned(fields[3], &mark.peakWorkingSet)) {
      continue;
    }
    mark.step = std::string(fields[0]);
    marks.push_back(std::move(mark));
  }
  return marks;
}

}  // namespace pelmar
