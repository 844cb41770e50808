#pragma once

#include <windows.h>

#include <string>

#include "pages/declared_view.h"

namespace pelmar {

// The finished page (step 4): "恭喜，安装成功" and "立即体验", which starts the
// installed product as the desktop user. Any button ends the installer.
class CFinishedView : public DeclaredView {
 public:
  CFinishedView(HWND hwnd, IResourceMgr* resources, const PageContext& context);

  // The installed product's executable, set by the flow controller.
  void SetProductPath(const std::wstring& path) { productPath_ = path; }
  const std::wstring& productPath() const { return productPath_; }

  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) override;

 protected:
  bool ApplyStateRule(int index, UINT msg) override;

 private:
  void OnClick(int index) override;
  static MouseScheme Scheme();

  std::wstring productPath_;
};

}  // namespace pelmar
