// Faults from outside the program. Here: the ~ key already taken by another
// program when the built program starts. It must run on without the key,
// type nothing, show nothing but its window, and still end normally.
//
// The other faults are covered elsewhere: a refusing notification area in
// CompositionTest.cpp (Wine's shell cannot be made to refuse), and a window
// that cannot be created in tests/windows/host/HostFatalTest.cpp, which
// provokes it in a child process and checks the message box and exit code -1.

#include <windows.h>

#include <gtest/gtest.h>

#include "ChordChecks.h"
#include "ProgramUnderTest.h"

namespace {

using e2e::ProgramUnderTest;

constexpr int kHolderHotKeyId = 7;
constexpr int kPresses = 3;

int g_holderPresses = 0;

LRESULT CALLBACK holderProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_HOTKEY && wParam == kHolderHotKeyId) {
        ++g_holderPresses;
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// Another program that holds ~ without modifiers for as long as it lives.
class KeyHolder {
public:
    KeyHolder() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = holderProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TolvaneTestKeyHolder";
        RegisterClassA(&wc);
        window_ = CreateWindowExA(0, wc.lpszClassName, "key holder", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                  wc.hInstance, nullptr);
        held_ = window_ != nullptr && RegisterHotKey(window_, kHolderHotKeyId, 0, VK_OEM_3);
    }
    ~KeyHolder() {
        if (held_) UnregisterHotKey(window_, kHolderHotKeyId);
        if (window_ != nullptr) DestroyWindow(window_);
    }
    KeyHolder(const KeyHolder&) = delete;
    KeyHolder& operator=(const KeyHolder&) = delete;
    bool held() const { return held_; }

private:
    HWND window_ = nullptr;
    bool held_ = false;
};

TEST(Faults, TheKeyHeldByAnotherProgramLeavesItRunningWithoutTheKey) {
    LowLevelKeyRecorder recorder;
    ASSERT_TRUE(recorder.installed());
    g_holderPresses = 0;
    KeyHolder holder;
    ASSERT_TRUE(holder.held()) << "this test could not take the key";

    ProgramUnderTest program;
    ASSERT_TRUE(program.start()) << "the program did not come up while the key was taken";
    EXPECT_EQ(e2e::visibleTopLevelWindowsOf(program.processId()).size(), 1u)
        << "the program shows more than its window (a message?)";

    for (int i = 0; i < kPresses; ++i) {
        e2e::pressTildeExpectNothing(recorder);
        if (HasFatalFailure()) return;
    }
    // The presses did reach the holder of the key.
    EXPECT_TRUE(e2e::waitUntil([] { return g_holderPresses == kPresses; }, 2000))
        << "the holder saw " << g_holderPresses << " presses";
    EXPECT_TRUE(program.running());
    EXPECT_TRUE(program.responsive());
    EXPECT_EQ(e2e::visibleTopLevelWindowsOf(program.processId()).size(), 1u);

    HWND window = program.window();
    ASSERT_TRUE(e2e::bringToFront(window));
    e2e::pressChord({VK_ESCAPE});
    EXPECT_EQ(program.waitForExit(10000), 0u);
    e2e::releaseChordKeys();
}

}  // namespace
