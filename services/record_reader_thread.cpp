#include "services/record_reader_thread.h"

#include <exception>

namespace pelmar {

void CRecordReaderControl::Start(std::function<uint32_t(CServerExchange&, CStopToken&)> read) {
  // Without a thread nobody reads: the record stays empty, as its readers expect.
  (void)worker_.Start(
      [this, read = std::move(read)](CStopToken& stop) { return read(exchange_, stop); });
}

bool CRecordReaderControl::StopWithin(int milliseconds) {
  const int rounds = milliseconds / CServerExchange::kWakeIntervalMs;
  if (!exchange_.StopWorker(worker_, rounds)) return false;
  worker_.Join();
  return true;
}

RecordRead GuardedRead(const std::function<RecordRead()>& read) {
  try {
    return read();
  } catch (const std::exception& e) {
    return RecordRead::Failed(e.what());
  } catch (...) {
    return RecordRead::Failed("unknown error");
  }
}

}  // namespace pelmar
