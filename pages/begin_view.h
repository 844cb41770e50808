#pragma once

#include <windows.h>

#include "pages/declared_view.h"

namespace pelmar {

// The main page (step 1): logo and name, "立即安装", the agreement check box
// and its link, the custom-install link and the close button. Asks the main
// window for steps 2 and 3; closing asks for confirmation first.
class CBeginView : public DeclaredView {
 public:
  CBeginView(HWND hwnd, IResourceMgr* resources, const PageContext& context);

  // The disk-space result of the flow controller: the install button follows it.
  void SetSpaceOk(bool spaceOk);
  const BeginPageFlags& flags() const { return flags_; }

  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) override;

 protected:
  bool ApplyStateRule(int index, UINT msg) override;

 private:
  void OnClick(int index) override;
  void CancelFlow();
  static MouseScheme Scheme();

  BeginPageFlags flags_;
};

}  // namespace pelmar
