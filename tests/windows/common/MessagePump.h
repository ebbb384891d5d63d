#pragma once

// Waiting in a test thread that owns windows or a hook: its own messages must
// keep moving meanwhile, or the thing waited for never comes.

#include <windows.h>

namespace e2e {

// Waits until `done()` holds or the time is up, keeping this thread's own
// messages moving, looking again every `pollMs`; gives whether it held.
template <typename Done>
bool waitUntil(Done done, DWORD timeoutMs, DWORD pollMs = 5) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (done()) return true;
        if (GetTickCount64() >= end) return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(pollMs);
    }
}

// Keeps this thread's messages moving for the time given.
inline void pumpFor(DWORD milliseconds) {
    waitUntil([] { return false; }, milliseconds);
}

}  // namespace e2e
