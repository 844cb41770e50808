#pragma once

#include <windows.h>

namespace pelmar {

// Runs a routine every kPeriodMs for the progress page: on a multimedia
// timer's thread, or, when no multimedia timer can be had, on the
// user-interface thread from a window timer, so the page never stalls.
// Made and destroyed on the user-interface thread (or destroyed from inside
// its own routine).
class CProgressTicker {
 public:
  using Routine = void (*)(void* context);
  static constexpr UINT kPeriodMs = 50;

  CProgressTicker(HWND hwnd, Routine routine, void* context);
  // Once it returns no routine runs any more; a routine still running on the
  // timer thread is waited for, unless the caller is that routine.
  ~CProgressTicker();
  CProgressTicker(const CProgressTicker&) = delete;
  CProgressTicker& operator=(const CProgressTicker&) = delete;

  // False when neither timer could be made.
  bool running() const { return mmTimer_ != 0 || windowTimer_ != 0; }
  bool usesWindowTimer() const { return windowTimer_ != 0; }

  // Tests: pretend the multimedia timer cannot be made.
  static void RefuseMultimediaTimerForTesting(bool refuse);

 private:
  static void CALLBACK OnMultimediaTimer(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR);
  static void CALLBACK OnWindowTimer(HWND, UINT, UINT_PTR id, DWORD);

  HWND hwnd_;
  Routine routine_;
  void* context_;
  UINT mmTimer_ = 0;
  UINT_PTR windowTimer_ = 0;
};

}  // namespace pelmar
