#include "services/record_reader_thread.h"

#include <exception>

namespace pelmar {

void CRecordReaderBase::StopAndJoin() {
  exchange_.StopAndWake([this] { return IsRunning(); });
  Join();
}

bool CRecordReaderBase::StopWithin(int milliseconds) {
  const int rounds = milliseconds / CServerExchange::kWakeIntervalMs;
  if (!exchange_.StopAndWake([this] { return IsRunning(); }, rounds)) return false;
  Join();
  return true;
}

uint32_t CRecordReaderBase::Run() {
  try {
    ReadAndKeep();
    return 0;
  } catch (const std::exception& e) {
    KeepFailure(e.what());
  } catch (...) {
    KeepFailure("unknown error");
  }
  return 1;
}

}  // namespace pelmar
