#pragma once

#include <windows.h>

#include <initializer_list>
#include <vector>

#include "MessagePump.h"

// Watches the system's keyboard input through a low-level hook on a thread of
// its own: the hook is only called while its thread pumps messages, and the
// thread that injects keys must not be the one that pumps for the hook.
class LowLevelKeyRecorder {
public:
    struct Event {
        DWORD virtualKey;
        DWORD scanCode;
        DWORD flags;
        ULONG_PTR extraInfo;
        LONGLONG counter;  // QueryPerformanceCounter when the hook saw it
    };

    LowLevelKeyRecorder() {
        InitializeCriticalSection(&lock_);
        instance_ = this;
        ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, &LowLevelKeyRecorder::threadMain, this, 0, &threadId_);
        WaitForSingleObject(ready_, 5000);
    }

    ~LowLevelKeyRecorder() {
        PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
        CloseHandle(ready_);
        instance_ = nullptr;
        DeleteCriticalSection(&lock_);
    }

    LowLevelKeyRecorder(const LowLevelKeyRecorder&) = delete;
    LowLevelKeyRecorder& operator=(const LowLevelKeyRecorder&) = delete;

    bool installed() const { return hook_ != nullptr; }

    std::vector<Event> events() {
        EnterCriticalSection(&lock_);
        std::vector<Event> copy = events_;
        LeaveCriticalSection(&lock_);
        return copy;
    }

    void clear() {
        EnterCriticalSection(&lock_);
        events_.clear();
        LeaveCriticalSection(&lock_);
    }

    // Waits until `predicate(events())` holds or the time is up; gives
    // whether it held. The calling thread keeps its own messages moving.
    template <typename Predicate>
    bool waitFor(Predicate predicate, DWORD timeoutMs) {
        return e2e::waitUntil([&] { return predicate(events()); }, timeoutMs, 2);
    }

private:
    static DWORD WINAPI threadMain(LPVOID self) {
        auto* recorder = static_cast<LowLevelKeyRecorder*>(self);
        MSG msg;
        // Makes the thread's queue before anyone posts WM_QUIT to it.
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        recorder->hook_ = SetWindowsHookExA(WH_KEYBOARD_LL, &LowLevelKeyRecorder::hookProc, GetModuleHandleA(nullptr), 0);
        SetEvent(recorder->ready_);
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            DispatchMessageA(&msg);
        }
        if (recorder->hook_ != nullptr) UnhookWindowsHookEx(recorder->hook_);
        return 0;
    }

    static LRESULT CALLBACK hookProc(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HC_ACTION && instance_ != nullptr) {
            const auto* info = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
            LARGE_INTEGER now;
            QueryPerformanceCounter(&now);
            EnterCriticalSection(&instance_->lock_);
            instance_->events_.push_back({info->vkCode, info->scanCode, info->flags, info->dwExtraInfo, now.QuadPart});
            LeaveCriticalSection(&instance_->lock_);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static inline LowLevelKeyRecorder* instance_ = nullptr;

    CRITICAL_SECTION lock_;
    HANDLE ready_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HHOOK hook_ = nullptr;
    std::vector<Event> events_;
};

// Releases every key of `keys` that the system still takes as held, so that
// a failed test does not leave Ctrl or Win down for the tests after it.
inline void releaseHeldKeys(std::initializer_list<BYTE> keys) {
    for (BYTE vk : keys) {
        if (GetAsyncKeyState(vk) & 0x8000) {
            INPUT up = {};
            up.type = INPUT_KEYBOARD;
            up.ki.wVk = vk;
            up.ki.dwFlags = KEYEVENTF_KEYUP;
            SendInput(1, &up, sizeof up);
        }
    }
}
