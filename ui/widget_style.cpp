#include "ui/widget_style.h"

namespace pelmar {

const WidgetStyle& WidgetStyleSet::ForState(int state) const {
  if (state >= kStateNormal && state <= kStateDisabled) {
    return states[static_cast<std::size_t>(state)];
  }
  static const WidgetStyle kFallback;
  return kFallback;
}

}  // namespace pelmar
