#pragma once

#include "ui/base_resource.h"
#include "ui/view_geometry.h"

namespace pelmar {

// An empty slot in a layout: records its rectangle, draws nothing.
class CSpacerResource final : public IBaseResource {
 public:
  explicit CSpacerResource(int id = -1) : IBaseResource(kTypeSpacer, id) {}
  bool Draw(NativeDc) override { return true; }
  bool SetRect(int left, int top, int right, int bottom) override {
    rect_ = {left, top, right, bottom};
    return true;
  }
};

}  // namespace pelmar
