#pragma once

// The flow's private window messages between the pages and the main window,
// in the application range above WM_APP (0x8000). All are posted, never sent
// between threads; wparam / lparam as noted. The toolkit's own messages are
// in ui/window_messages.h.

namespace pelmar {

// step / 0: a page asks the main window for another step.
inline constexpr unsigned WM_GOTO_STEP = 0x806A;
// The steps of the installation flow, as WM_GOTO_STEP carries them.
inline constexpr int kStepNone = -1;  // before the first switch
inline constexpr int kStepReinstall = 0;
inline constexpr int kStepMain = 1;
inline constexpr int kStepCustom = 2;
inline constexpr int kStepProgress = 3;
inline constexpr int kStepFinished = 4;
inline constexpr int kStepCount = 5;
// icon id 0 / mouse message: the notification-area icon to the progress page.
inline constexpr unsigned WM_TRAY_NOTIFY = 0x806E;
// 0 / 0: progress timer to the progress page.
inline constexpr unsigned WM_DOWNLOAD_FAILED = 0x8076;
inline constexpr unsigned WM_SETUP_FAILED = 0x8077;
inline constexpr unsigned WM_PROGRESS_TICK = 0x807B;
// 0 / 0: the flow controller asks the main window to open the welcome page.
inline constexpr unsigned WM_OPEN_WELCOME = 0x807D;

}  // namespace pelmar
