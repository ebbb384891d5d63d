#pragma once

// Window messages of the program's own, in the WM_APP range. No other
// message of the main window or the hint label uses these numbers.

// Posted to the main window by destroyWindow: carry out a pending destruction.
inline constexpr unsigned kDestroyRequestMessage = 0x8065;  // WM_APP + 101
// The shell reports mouse actions on the notification-area icon through this
// message to the main window.
inline constexpr unsigned kTrayCallbackMessage = 0x8064;  // WM_APP + 100
// Sent to the hint label when one of the program's hot keys fires.
inline constexpr unsigned kHotKeyNotifyMessage = 0x8075;  // WM_APP + 117
