#pragma once

#include "ui/image_resource.h"

namespace pelmar {

// A progress track with a bar (type 7, id 2). The bar uses the normal text colour.
class CProgressResource final : public CImageResource {
 public:
  explicit CProgressResource(const WidgetStyleSet* styles);

  bool Draw(NativeDc hdc) override;
  bool SetRect(int left, int top, int right, int bottom) override;

  // 0..100; larger values count as 100.
  void SetPercent(unsigned percent);
  unsigned percent() const { return percent_; }
  const UiRect& barRect() const { return bar_; }

  static constexpr int kId = 2;

 private:
  unsigned percent_ = 0;
  UiRect bar_;
};

}  // namespace pelmar
