#pragma once

// Checks of a window's state after a request (show, hide, minimise, restore,
// a click): the state is read until it has settled on what is expected, with
// a bound, never once right after the request. Another process, Wine's X11
// driver and, for the x86 build, the emulator stand between a request and its
// effect, so a single read can see the state half-way.

#include <windows.h>

#include <ostream>

#include "MessagePump.h"

namespace e2e {

// The longest a window's state may take to settle. Generous: the x86 build
// runs under emulation, about twice as slow as the x64 one.
inline constexpr DWORD kSettleTimeoutMs = 8000;

// Reads `read()` until it gives `expected` or the time is up, and gives the
// last value read, so that a failed check shows where the state stood.
template <typename Read, typename T>
T settledValue(Read read, const T& expected, DWORD timeoutMs = kSettleTimeoutMs) {
    T value = read();
    waitUntil(
        [&] {
            value = read();
            return value == expected;
        },
        timeoutMs);
    return value;
}

// Whether the window comes to be shown (or hidden) within the time.
inline bool settlesVisible(HWND window, bool visible, DWORD timeoutMs = kSettleTimeoutMs) {
    return waitUntil([&] { return (IsWindowVisible(window) != FALSE) == visible; }, timeoutMs);
}

// Whether the window comes to be minimised (or not) within the time.
inline bool settlesIconic(HWND window, bool iconic, DWORD timeoutMs = kSettleTimeoutMs) {
    return waitUntil([&] { return (IsIconic(window) != FALSE) == iconic; }, timeoutMs);
}

// A window's outer rectangle as place and size, comparable and printable.
struct Placement {
    LONG left, top, width, height;

    friend bool operator==(const Placement& a, const Placement& b) {
        return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
    }
    friend std::ostream& operator<<(std::ostream& out, const Placement& p) {
        return out << p.width << "x" << p.height << " at (" << p.left << ", " << p.top << ")";
    }
};

inline Placement placementOf(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// A window of the given outer size centred on the primary screen, the
// division truncating toward zero.
inline Placement centredOnScreen(LONG width, LONG height) {
    return {(GetSystemMetrics(SM_CXSCREEN) - width) / 2, (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width,
            height};
}

// The window's placement once it has settled on `expected`, or the last one
// read when it has not within the time.
inline Placement settledPlacement(HWND window, const Placement& expected, DWORD timeoutMs = kSettleTimeoutMs) {
    return settledValue([&] { return placementOf(window); }, expected, timeoutMs);
}

}  // namespace e2e
