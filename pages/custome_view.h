#pragma once

#include <windows.h>

#include <string>

#include "pages/declared_view.h"

namespace pelmar {

// The custom install page (step 2): the install path in an edit field with a
// folder browser, the required and free space, the disk-full warning, the
// experience-plan check box and "立即安装". The path is the run's install
// target (in the page context): the flow controller asks the page to take it
// on entry, the page changes it as the user chooses, the flow reads the
// flags on leaving.
class CCustomeView : public DeclaredView {
 public:
  CCustomeView(HWND hwnd, IResourceMgr* resources, const PageContext& context);

  // A typed, chosen or given path, taken in its canonical form into the
  // install target. The same path again changes nothing; a path the setup
  // program cannot use puts the previous one back into the field and shows
  // the page's hint.
  void SetInstallPath(const std::wstring& path);

  // The install target's path once the page has taken one, else empty.
  const std::wstring& installPath() const;
  bool spaceOk() const { return spaceOk_; }
  bool joinPlan() const { return joinPlan_; }
  bool appendProductFolder() const { return appendProductFolder_; }
  // An installed product's folder is taken as it is, without the sub-path.
  void ClearAppendProductFolder() { appendProductFolder_ = false; }

  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) override;

 protected:
  bool ApplyStateRule(int index, UINT msg) override;

 private:
  void OnClick(int index) override;
  void BrowseForFolder();
  void CancelFlow();
  void HideEdit();
  void SetValueText(int id, const std::wstring& text);
  // A path that cannot be used: the edit shows the current path again and
  // the status line says why nothing changed.
  void RefusePath();
  void ShowPathHint(bool shown);
  static MouseScheme Scheme();

  // Whether the page has taken a path into the install target yet: until
  // then its field is empty, whatever the target holds.
  bool tookPath_ = false;
  bool spaceOk_ = true;
  bool joinPlan_ = true;
  bool appendProductFolder_ = true;
};

}  // namespace pelmar
