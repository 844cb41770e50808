#pragma once

#include <functional>

#include "services/server_exchange.h"

namespace pelmar {

class IDownloader;

// What a test host may change about the progress page, so that it runs
// against a maker backend of its own: the download controller it makes and
// where the banner asks for its configuration.
struct ProgressPageHooks {
  std::function<IDownloader*()> createDownloader;  // empty: the installer's controller
  ServerEndpoint bannerConfig;                     // empty host: the configured gateway
};
void SetProgressPageHooksForTesting(const ProgressPageHooks& hooks);
const ProgressPageHooks& ProgressPageHooksForTesting();

}  // namespace pelmar
