#pragma once

#include <vector>

#include "ui/base_resource.h"
#include "ui/view_geometry.h"

namespace pelmar {

// Places its children along one direction in proportion to their weights.
// Refers to its children and background without owning them (the view owns
// every resource).
class CLayoutResource final : public IBaseResource {
 public:
  explicit CLayoutResource(int direction, int id = -1)
      : IBaseResource(kTypeLayout, id), direction_(direction) {}

  bool Draw(NativeDc) override { return true; }
  // Lays the children out; false (children untouched) when they do not fit.
  bool SetRect(int left, int top, int right, int bottom) override;

  void AddChild(IBaseResource* child, unsigned weight);
  void SetBackground(IBaseResource* background) { background_ = background; }
  void SetMargins(unsigned left, unsigned top, unsigned right, unsigned bottom) {
    margins_.left = left;
    margins_.top = top;
    margins_.right = right;
    margins_.bottom = bottom;
  }
  void SetSpacing(unsigned spacing) { margins_.spacing = spacing; }
  int direction() const { return direction_; }

 private:
  int direction_;
  LayoutMargins margins_;
  IBaseResource* background_ = nullptr;
  std::vector<IBaseResource*> children_;
  std::vector<unsigned> weights_;
};

}  // namespace pelmar
