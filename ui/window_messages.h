#pragma once

// The installer's private window messages, in the application range above
// WM_APP (0x8000). All are posted, never sent between threads; wparam /
// lparam as noted.

namespace pelmar {

// step / 0: a page asks the main window for another step.
inline constexpr unsigned WM_GOTO_STEP = 0x806A;
// index in the view's resource list / mouse position: left button released
// over a clickable resource (a view to itself).
inline constexpr unsigned WM_RESOURCE_CLICKED = 0x806B;
// icon id 0 / mouse message: the notification-area icon to the progress page.
inline constexpr unsigned WM_TRAY_NOTIFY = 0x806E;
// 0 / 0: a dialog view to its own window before it closes when confirmed.
inline constexpr unsigned WM_DIALOG_CONFIRMED = 0x8072;
// 0 / 0: the error dialog to its own window when the user asks to retry.
inline constexpr unsigned WM_DIALOG_RETRY = 0x8073;
// 0 / 0: progress timer to the progress page.
inline constexpr unsigned WM_DOWNLOAD_FAILED = 0x8076;
inline constexpr unsigned WM_SETUP_FAILED = 0x8077;
inline constexpr unsigned WM_PROGRESS_TICK = 0x807B;
// 0 / 0: an animated picture changed its frame.
inline constexpr unsigned WM_MOVIE_FRAME = 0x807C;
// 0 / 0: the flow controller asks the main window to open the welcome page.
inline constexpr unsigned WM_OPEN_WELCOME = 0x807D;
// 0 / 0: show, make topmost, activate and focus (also from a second instance).
inline constexpr unsigned WM_BRING_TO_FRONT = 0x80FF;

}  // namespace pelmar
