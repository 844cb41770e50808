#pragma once

// The toolkit's private window messages, in the application range above
// WM_APP (0x8000). All are posted, never sent between threads; wparam /
// lparam as noted. The flow's messages are in pages/page_messages.h.

namespace pelmar {

// index in the view's resource list / mouse position: left button released
// over a clickable resource (a view to itself).
inline constexpr unsigned WM_RESOURCE_CLICKED = 0x806B;
// 0 / 0: a dialog view to its own window before it closes when confirmed.
inline constexpr unsigned WM_DIALOG_CONFIRMED = 0x8072;
// 0 / 0: the error dialog to its own window when the user asks to retry.
inline constexpr unsigned WM_DIALOG_RETRY = 0x8073;
// 0 / 0: an animated picture changed its frame.
inline constexpr unsigned WM_MOVIE_FRAME = 0x807C;
// 0 / 0: show, make topmost, activate and focus (also from a second instance).
inline constexpr unsigned WM_BRING_TO_FRONT = 0x80FF;

}  // namespace pelmar
