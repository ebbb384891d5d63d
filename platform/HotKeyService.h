#pragma once

#include <windows.h>

#include <cstdint>

#include "app/Types.h"

inline constexpr std::uint32_t kFirstHotKeyId = 33001;

// Registers system-wide hot keys and delivers each press to a target control
// by sub-classing the owner window. One service per process: the window
// procedure it installs finds it through a process-wide pointer, so at most
// one service may be alive at a time.
class HotKeyService {
public:
    HotKeyService();
    HotKeyService(const HotKeyService&) = delete;
    HotKeyService& operator=(const HotKeyService&) = delete;
    // Puts the owner's own procedure back if the owner outlives the service,
    // so that no window is left calling into a service that is gone.
    ~HotKeyService();

    // Gives the new id (33000 + n for the n-th call), or 0 when refused.
    std::int32_t registerHotKey(HWND owner, HWND target, ModifierCode modifiers, std::int32_t virtualKey);
    // Gives true only when the system released the key and, if this was the
    // last registration, the owner's own procedure was put back.
    bool unregisterHotKey(HWND owner, std::int32_t id);

    static LRESULT CALLBACK hotKeyWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // ModifierCode (Ctrl 1, Shift 2, Alt 4) to RegisterHotKey's fsModifiers.
    static UINT toHotKeyModifiers(ModifierCode modifiers);

private:
    LRESULT receive(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void restoreOwnerProc();

    static HotKeyService* instance_;

    HWND notifyTarget_ = nullptr;
    WNDPROC previousWindowProc_ = nullptr;
    // The window whose procedure was replaced; the procedure goes back to
    // this window, whichever owner the last unregisterHotKey names.
    HWND subclassedWindow_ = nullptr;
    std::int32_t issuedCount_ = 0;
    std::uint32_t lastHotKeyId_ = 0;
    std::int32_t activeCount_ = 0;
};
