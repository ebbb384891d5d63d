#include "platform/HotKeyService.h"

#include "platform/AppMessages.h"

HotKeyService* HotKeyService::instance_ = nullptr;

HotKeyService::HotKeyService() { instance_ = this; }

HotKeyService::~HotKeyService() {
    // In the program the main window is gone before the service; a window
    // that is still alive here would otherwise call a dangling service.
    if (previousWindowProc_ != nullptr && IsWindow(subclassedWindow_)) {
        restoreOwnerProc();
    }
    if (instance_ == this) {
        instance_ = nullptr;
    }
}

UINT HotKeyService::toHotKeyModifiers(ModifierCode modifiers) {
    // Ctrl 1, Shift 2, Alt 4 become MOD_CONTROL 2, MOD_SHIFT 4, MOD_ALT 1.
    // 7 already means all three to RegisterHotKey, and any other value is
    // taken to be fsModifiers flags already (8 is MOD_WIN).
    static const UINT kTable[] = {
        0,
        MOD_CONTROL,
        MOD_SHIFT,
        MOD_CONTROL | MOD_SHIFT,
        MOD_ALT,
        MOD_CONTROL | MOD_ALT,
        MOD_SHIFT | MOD_ALT,
    };
    if (modifiers >= 0 && modifiers < static_cast<ModifierCode>(sizeof kTable / sizeof kTable[0])) {
        return kTable[modifiers];
    }
    return static_cast<UINT>(modifiers);
}

std::int32_t HotKeyService::registerHotKey(HWND owner, HWND target, ModifierCode modifiers,
                                           std::int32_t virtualKey) {
    // Every registration, also one that fails below, redirects the
    // notifications of all the service's keys to the newest target.
    notifyTarget_ = target;
    const UINT fsModifiers = toHotKeyModifiers(modifiers);

    // Only the first owner is sub-classed; WM_HOTKEY of keys held by other
    // windows goes to their own procedures. When the replacement fails the
    // next registration tries again.
    if (previousWindowProc_ == nullptr) {
        WNDPROC previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HotKeyService::hotKeyWindowProc)));
        // A window that already runs this procedure (its own was lost
        // earlier) must not chain to itself: that would recurse forever.
        if (previous == &HotKeyService::hotKeyWindowProc) {
            previous = nullptr;
        }
        previousWindowProc_ = previous;
        subclassedWindow_ = previous != nullptr ? owner : nullptr;
    }

    // The id is used up even when the system refuses the key, so an id is
    // never handed out twice.
    ++activeCount_;
    ++issuedCount_;
    lastHotKeyId_ = kFirstHotKeyId - 1 + static_cast<std::uint32_t>(issuedCount_);
    const std::int32_t id = static_cast<std::int32_t>(lastHotKeyId_);

    if (!RegisterHotKey(owner, id, fsModifiers, static_cast<UINT>(virtualKey))) {
        return 0;
    }
    return id;
}

bool HotKeyService::unregisterHotKey(HWND owner, std::int32_t id) {
    bool released = UnregisterHotKey(owner, id) != FALSE;
    // A refused registration counted as made, so its removal counts too; the
    // count never goes below zero, or a later registration could never bring
    // the owner's procedure back.
    if (activeCount_ > 0) {
        --activeCount_;
    }
    if (previousWindowProc_ != nullptr && activeCount_ == 0) {
        const bool restored = IsWindow(subclassedWindow_) != FALSE;
        restoreOwnerProc();
        // A key the system did not release is not reported as released just
        // because the procedure could be put back.
        released = released && restored;
    }
    return released;
}

void HotKeyService::restoreOwnerProc() {
    SetWindowLongPtrA(subclassedWindow_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousWindowProc_));
    previousWindowProc_ = nullptr;
    subclassedWindow_ = nullptr;
}

LRESULT CALLBACK HotKeyService::hotKeyWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (instance_ == nullptr) {
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    return instance_->receive(hwnd, message, wParam, lParam);
}

LRESULT HotKeyService::receive(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // Hot-key ids are 32-bit: the system's own (negative) ids and anything
    // outside the range this service issued are only passed on.
    if (message == WM_HOTKEY) {
        const std::uint32_t id = static_cast<std::uint32_t>(wParam);
        if (id >= kFirstHotKeyId && id <= lastHotKeyId_) {
            // Sent, not posted: the target's reaction, and with it the key
            // chord, is complete before the owner's procedure sees the key.
            SendMessageA(notifyTarget_, kHotKeyNotifyMessage, static_cast<WPARAM>(id), 0);
        }
    }
    // A window whose procedure could not be read back has no procedure of
    // its own to call; the system's default handling stands in for it.
    if (previousWindowProc_ == nullptr) {
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    return CallWindowProcA(previousWindowProc_, hwnd, message, wParam, lParam);
}
