#pragma once

#include <string>

#include "ui/image_resource.h"

namespace pelmar {

// A line or paragraph of text (type 5); wraps inside its rectangle.
class CTextResource final : public CImageResource {
 public:
  // styles: null gives black text on white.
  CTextResource(int id, const WidgetStyleSet* styles, const std::wstring& text);

  bool Draw(NativeDc hdc) override;
  void SetText(const std::wstring& text) { text_ = text; }
  const std::wstring& text() const { return text_; }

 private:
  std::wstring text_;
};

}  // namespace pelmar
