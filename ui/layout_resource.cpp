#include "ui/layout_resource.h"

namespace pelmar {

void CLayoutResource::AddChild(IBaseResource* child, unsigned weight) {
  children_.push_back(child);
  weights_.push_back(weight);
}

bool CLayoutResource::SetRect(int left, int top, int right, int bottom) {
  rect_ = {left, top, right, bottom};
  std::vector<UiRect> places;
  if (!ComputeWeightedLayout(rect_, direction_, margins_, CurrentDisplayScale(), weights_,
                             children_.size(), &places)) {
    return false;
  }
  for (std::size_t i = 0; i < children_.size(); ++i) {
    const UiRect& r = places[i];
    // A nested layout that does not fit keeps its own children where they were.
    (void)children_[i]->SetRect(r.left, r.top, r.right, r.bottom);
  }
  if (background_) (void)background_->SetRect(left, top, right, bottom);
  return true;
}

}  // namespace pelmar
