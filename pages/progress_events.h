#pragma once

#include "services/page_action_sink.h"

namespace pelmar {

// The analytics records of the progress page's own window, in one place (the
// install run sends its events itself, see download/install_run.h).

// Page actions of the notification area: page "0003", action "0001" (hidden)
// or "0002" (restored), empty extra text.
void SendHiddenToTrayAction(IPageActionSink& actions);
void SendRestoredFromTrayAction(IPageActionSink& actions);

}  // namespace pelmar
