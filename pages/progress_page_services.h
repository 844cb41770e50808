#pragma once

#include <functional>

#include "pages/progress_rules.h"
#include "services/server_exchange.h"

namespace pelmar {

class IDownloader;

// What the progress page is handed from above, in its page context: the
// download controller it makes (the installer's needs services only the
// composition root in app/ has) and where the banner asks for its
// configuration. Start-up sets the controller; a test host sets both to run
// against a maker backend of its own.
struct ProgressPageServices {
  std::function<IDownloader*()> createDownloader;  // empty: no download (start fails)
  ServerEndpoint bannerConfig;                     // empty host: the configured gateway
  uint32_t setupRunLimitMs = kSetupRunLimitMs;     // tests shorten it
};

}  // namespace pelmar
