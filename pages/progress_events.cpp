#include "pages/progress_events.h"

namespace pelmar {
namespace {

constexpr const char* kTrayPage = "0003";

}  // namespace

void SendHiddenToTrayAction(IPageActionSink& actions) {
  (void)actions.SendPageAction(kTrayPage, "0001", "");
}

void SendRestoredFromTrayAction(IPageActionSink& actions) {
  (void)actions.SendPageAction(kTrayPage, "0002", "");
}

}  // namespace pelmar
