// Until the progress page lands, step 3 shows an empty page so that the rest
// of the flow links and runs. Removed when the progress page's body arrives.
#include "pages/progress_view.h"

namespace pelmar {

struct CProgressView::State {};

CProgressView::CProgressView(HWND hwnd, IResourceMgr* resources)
    : IBaseView(hwnd, resources), state_(std::make_unique<State>()) {}

CProgressView::~CProgressView() = default;

void CProgressView::Start(const std::wstring&) {}

void CProgressView::SetJoinPlan(bool) {}

LRESULT CProgressView::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_PAINT) return DoubleBufferedPaint();
  return DefWindowProcW(hwnd_, msg, wparam, lparam);
}

}  // namespace pelmar
