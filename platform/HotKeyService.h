#pragma once

#include <windows.h>

#include <cstdint>

#include "app/Types.h"

inline constexpr std::uint32_t kFirstHotKeyId = 33001;

// Registers system-wide hot keys and delivers each press to a target control
// by sub-classing the owner window. One service per process: the window
// procedure it installs finds it through a process-wide pointer.
class HotKeyService {
public:
    HotKeyService();
    HotKeyService(const HotKeyService&) = delete;
    HotKeyService& operator=(const HotKeyService&) = delete;
    ~HotKeyService();

    // Gives the new id (33000 + n for the n-th call), or 0 when refused.
    std::int32_t registerHotKey(HWND owner, HWND target, ModifierCode modifiers, std::int32_t virtualKey);
    bool unregisterHotKey(HWND owner, std::int32_t id);

    static LRESULT CALLBACK hotKeyWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // ModifierCode (Ctrl 1, Shift 2, Alt 4) to RegisterHotKey's fsModifiers.
    static UINT toHotKeyModifiers(ModifierCode modifiers);

private:
    // (filled in with the implementation)
};
