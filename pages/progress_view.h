#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "pages/page_context.h"
#include "ui/base_view.h"

namespace pelmar {

// Step 3 of the installation: downloads the setup program, runs it silently
// into the install path and drives the progress bar; hides to the
// notification area on request. Entered on the user-interface thread only:
// the install run works on a worker of its own (download/install_run.h), and
// the page's periodic tick just paints the run's snapshot.
class CProgressView : public IBaseView {
 public:
  // `context` outlives the view.
  CProgressView(HWND hwnd, IResourceMgr* resources, const PageContext& context);
  ~CProgressView() override;

  // Starts (or restarts) the download and the setup run into the install
  // target's path (a retry after a failure installs there again).
  void Start();
  // Whether the user stays in the experience plan (true until told otherwise).
  void SetJoinPlan(bool joined);
  // For a quit: asks the install run's worker, the download's threads and
  // the banner's to end without waiting for them; WorkersEnded() tells when
  // they all have.
  void RequestStopWorkers();
  bool WorkersEnded();

  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace pelmar
