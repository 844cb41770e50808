#pragma once

#include "base/event_sink.h"
#include "pages/install_target.h"
#include "pages/progress_page_services.h"
#include "services/machine_id_source.h"
#include "services/page_action_sink.h"
#include "services/record_delivery.h"
#include "services/url_opener.h"
#include "services/user_launcher.h"

namespace pelmar {

// What the composition root hands every page and dialog: where they report,
// what they read, and how they open addresses and start programs. Owned by
// the main window (a test host in tests), which outlives its pages; every
// pointer is set.
struct PageContext {
  IEventSink* events = nullptr;
  IPageActionSink* actions = nullptr;
  IMachineIdSource* machineId = nullptr;  // for the agreement address
  IUrlOpener* urlOpener = nullptr;        // the download reminder's link
  IUserLauncher* userLauncher = nullptr;  // the installed product, as the desktop user
  IRecordDelivery* delivery = nullptr;    // released when the user leaves the plan
  // The install directory and its free-space check, one for the run: the
  // custom page changes it, the progress page installs there.
  CInstallTarget* installTarget = nullptr;
  ProgressPageServices progress;
};

}  // namespace pelmar
