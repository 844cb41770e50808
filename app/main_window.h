#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "pages/install_target.h"
#include "pages/page_context.h"
#include "ui/base_window.h"

namespace pelmar {

class IBaseView;
class IResourceMgr;
class CTSReportThread;

// The installer's only main window and the owner of the installation flow:
// one view per step (0 reinstall reminder, 1 main page, 2 custom page,
// 3 progress, 4 finished), each created on first entry and kept. Pages ask
// for another step by posting WM_GOTO_STEP. User-interface thread only.
class MainWindow : public IBaseWindow {
 public:
  // Opens the welcome address in the browser the user most likely uses, given
  // the program that launched the installer.
  using UrlOpener = std::function<bool(const std::wstring& url, const std::wstring& launcher)>;

  // Creates the window, the resource manager, the install target, and takes
  // the first step (0 when the installed product is as new as the package,
  // else 1). Raises PelmarError "create window error", "Create ResMgr error"
  // or "Get DefaultPath error" (the last two after telling the user).
  // `pages` is what every page is handed; the window adds what it owns (the
  // install target, with the bytes the package needs).
  MainWindow(UrlOpener openUrl, PageContext pages);
  ~MainWindow() override;

  // Switches to `step`; false for an unknown step or when the disk-space
  // check refuses step 3.
  bool GoToStep(int step);
  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) override;

  // For the quit, once the window is gone: asks every worker thread of the
  // pages (download, banner, attribution report) to end, and waits up to
  // `milliseconds` for them. False when one still runs: destroying the
  // window would then wait for it, so the caller leaves the window to the
  // process exit instead.
  [[nodiscard]] bool StopWorkersWithin(int milliseconds);

  int currentStep() const { return step_; }
  const std::wstring& installPath() const { return installTarget_.path(); }
  const std::wstring& welcomeAddress() const { return welcomeAddress_; }

 private:
  void ChooseInstallPath();
  bool IsReinstall();
  template <typename View>
  View* ViewOf(int step);
  // `roomy`: the install path's volume has room for the package.
  [[nodiscard]] bool EnterProgressStep(bool roomy);
  void EnterFinishedStep();
  void OpenWelcome();

  std::wstring welcomeAddress_;
  int step_ = -1;
  IBaseView* current_ = nullptr;
  // Before the views, which keep a reference to both: they outlive them.
  CInstallTarget installTarget_;
  PageContext pages_;
  std::array<std::unique_ptr<IBaseView>, 5> views_;
  std::unique_ptr<IResourceMgr> resources_;
  std::wstring installedProductPath_;
  std::unique_ptr<CTSReportThread> attribution_;
  UrlOpener openUrl_;
};

}  // namespace pelmar
