#pragma once

namespace pelmar {

class ILoggerServer;

// The analytics records of the progress page's own window, in one place (the
// install run sends its events itself, see download/install_run.h). They go
// to GetLogger() unless a test has named another logger.

// Page actions of the notification area: page "0003", action "0001" (hidden)
// or "0002" (restored), empty extra text.
void SendHiddenToTrayAction();
void SendRestoredFromTrayAction();

// Tests: send to `logger` instead of GetLogger() (null restores it).
void SetProgressEventLoggerForTesting(ILoggerServer* logger);

}  // namespace pelmar
