#pragma once

#include <windows.h>

#include <string>

#include "pages/declared_view.h"

namespace pelmar {

// The reinstall reminder (step 0): the dialog layout as a page of the main
// window, shown when the installed product is as new as the package. "打开"
// runs the product and quits, "安装" goes on to the main page, the close
// button quits.
class CReminderView : public DeclaredView {
 public:
  CReminderView(HWND hwnd, IResourceMgr* resources, const PageContext& context);

  // The installed product's executable, set by the flow controller.
  void SetInstalledProductPath(const std::wstring& path) { productPath_ = path; }

  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) override;

 protected:
  bool ApplyStateRule(int index, UINT msg) override;

 private:
  void OnClick(int index) override;
  static MouseScheme Scheme();

  std::wstring productPath_;
};

}  // namespace pelmar
