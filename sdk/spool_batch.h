#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelmar::vek {

// Limits of one upload: the collector takes a few hundred kilobytes at once,
// and a run of the installer writes a few dozen records.
inline constexpr size_t kMaxBatchLines = 200;
inline constexpr size_t kMaxBatchBytes = 256 * 1024;
// A record line longer than this is not one the SDK wrote; skipped.
inline constexpr size_t kMaxRecordLine = 64 * 1024;

// The spool never grows past this: a collector gone for that long is not
// waited for, and a bounded file is one every reader can take in whole.
inline constexpr uint64_t kMaxSpoolBytes = 64u * 1024 * 1024;

// Whether a spool of `spoolBytes` takes an append of `appendBytes` (the
// whole text written: the line, its "\n", and a "\n" ending a cut-short last
// line first) without passing kMaxSpoolBytes. Checked before writing, so a
// full spool stays readable instead of ending just over the cap.
[[nodiscard]] bool SpoolHasRoom(uint64_t spoolBytes, uint64_t appendBytes);

// The next batch to upload from the start of the spool file's content.
// Only complete lines (ending in "\n") are looked at: an unterminated tail is
// a write cut short and is left alone (the next writer ends it first, and
// later runs skip it). Lines that are not a record (not a JSON object with a
// 32-hex "uid") are skipped and counted as consumed.
struct SpoolBatch {
  std::string body;              // valid lines joined by "\n"
  std::vector<size_t> lineEnds;  // spool offset just past each valid line's "\n"
  size_t scannedBytes = 0;       // spool offset just past the last line looked at
  size_t lineCount() const { return lineEnds.size(); }
};

SpoolBatch TakeSpoolBatch(std::string_view spool, size_t maxLines = kMaxBatchLines,
                          size_t maxBytes = kMaxBatchBytes);

// Bytes at the start of the spool that may be removed once the collector
// accepted the first `accepted` lines of `batch`.
size_t ConsumedSpoolBytes(const SpoolBatch& batch, size_t accepted);

// True when `line` is a record the SDK wrote (JSON object with a 32-hex uid).
bool IsRecordLine(std::string_view line);

}  // namespace pelmar::vek
