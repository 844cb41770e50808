#include "pages/progress_ticker.h"
#include "base/win/system_api.h"

#include <mmsystem.h>

#include <atomic>
#include <set>

namespace pelmar {
namespace {

std::atomic<bool> g_refuse_mm_timer{false};

// Window timers alive, by id: a WM_TIMER already queued when its ticker went
// away finds nothing here and does nothing. User-interface thread only.
std::set<UINT_PTR>& LiveWindowTimers() {
  static std::set<UINT_PTR> live;
  return live;
}

// The multimedia timer's resolution argument, in milliseconds.
constexpr UINT kResolutionMs = 1000;

}  // namespace

void CProgressTicker::RefuseMultimediaTimerForTesting(bool refuse) {
  g_refuse_mm_timer.store(refuse);
}

CProgressTicker::CProgressTicker(HWND hwnd, Routine routine, void* context)
    : hwnd_(hwnd), routine_(routine), context_(context) {
  if (!g_refuse_mm_timer.load()) {
    // TIME_KILL_SYNCHRONOUS: killing waits for a routine in progress, so the
    // context cannot go away under it.
    mmTimer_ = sys::timeSetEvent(kPeriodMs, kResolutionMs, &CProgressTicker::OnMultimediaTimer,
                                 reinterpret_cast<DWORD_PTR>(this),
                                 TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
  }
  if (mmTimer_ == 0) {
    // The ticker's address is its timer id: unique on this window while it lives.
    windowTimer_ = SetTimer(hwnd_, reinterpret_cast<UINT_PTR>(this), kPeriodMs,
                            &CProgressTicker::OnWindowTimer);
    if (windowTimer_ != 0) LiveWindowTimers().insert(windowTimer_);
  }
}

CProgressTicker::~CProgressTicker() {
  if (mmTimer_ != 0) sys::timeKillEvent(mmTimer_);
  if (windowTimer_ != 0) {
    KillTimer(hwnd_, windowTimer_);
    LiveWindowTimers().erase(windowTimer_);
  }
}

void CALLBACK CProgressTicker::OnMultimediaTimer(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  auto* self = reinterpret_cast<CProgressTicker*>(user);
  self->routine_(self->context_);
}

void CALLBACK CProgressTicker::OnWindowTimer(HWND, UINT, UINT_PTR id, DWORD) {
  if (LiveWindowTimers().count(id) == 0) return;
  auto* self = reinterpret_cast<CProgressTicker*>(id);
  self->routine_(self->context_);
}

}  // namespace pelmar
