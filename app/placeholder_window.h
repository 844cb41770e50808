#pragma once

#include <windows.h>

namespace pelmar {

// A small top-level window of the main window class, standing in for the
// skinned main window until it exists: it makes the second-instance hand-over
// real and ends the message loop when closed.
class PlaceholderWindow {
 public:
  // Raises PelmarError "create window error" when the window cannot be made.
  explicit PlaceholderWindow(HINSTANCE instance);
  ~PlaceholderWindow();
  PlaceholderWindow(const PlaceholderWindow&) = delete;
  PlaceholderWindow& operator=(const PlaceholderWindow&) = delete;

  HWND hwnd() const { return hwnd_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
};

}  // namespace pelmar
