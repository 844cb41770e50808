#include "sdk/spool_batch.h"

#include <json/json.h>

#include <exception>
#include <memory>

namespace pelmar::vek {

bool IsRecordLine(std::string_view line) {
  if (line.size() < 2 || line.size() > kMaxRecordLine || line.front() != '{' || line.back() != '}')
    return false;
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  builder["failIfExtra"] = true;
  builder["rejectDupKeys"] = true;
  builder["stackLimit"] = 64;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value value;
  std::string errors;
  try {
    if (!reader->parse(line.data(), line.data() + line.size(), &value, &errors)) return false;
  } catch (const std::exception&) {
    return false;  // the reader throws past its nesting limit instead of failing
  }
  if (!value.isObject() || !value["uid"].isString()) return false;
  const std::string uid = value["uid"].asString();
  if (uid.size() != 32) return false;
  for (char c : uid)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

SpoolBatch TakeSpoolBatch(std::string_view spool, size_t maxLines, size_t maxBytes) {
  SpoolBatch batch;
  size_t pos = 0;
  // Bounded: each turn moves past one complete line.
  while (pos < spool.size() && batch.lineCount() < maxLines) {
    const size_t newline = spool.find('\n', pos);
    if (newline == std::string_view::npos) break;
    std::string_view line = spool.substr(pos, newline - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (IsRecordLine(line)) {
      const size_t extra = batch.body.empty() ? line.size() : line.size() + 1;
      // One line is always taken, so a long record never blocks the spool.
      if (!batch.body.empty() && batch.body.size() + extra > maxBytes) break;
      if (!batch.body.empty()) batch.body += '\n';
      batch.body.append(line.data(), line.size());
      batch.lineEnds.push_back(newline + 1);
    }
    pos = newline + 1;
    batch.scannedBytes = pos;
  }
  return batch;
}

size_t ConsumedSpoolBytes(const SpoolBatch& batch, size_t accepted) {
  if (accepted >= batch.lineCount()) return batch.scannedBytes;
  if (accepted == 0) {
    // Nothing accepted: only the skipped lines before the first record go.
    return batch.lineEnds.empty() ? batch.scannedBytes : 0;
  }
  return batch.lineEnds[accepted - 1];
}

bool SpoolHasRoom(uint64_t spoolBytes, uint64_t appendBytes) {
  return spoolBytes <= kMaxSpoolBytes && appendBytes <= kMaxSpoolBytes - spoolBytes;
}

}  // namespace pelmar::vek
