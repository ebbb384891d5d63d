#pragma once

// Presses of the hot key from outside the program, and what the program types
// in answer, as a low-level keyboard hook sees it.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LowLevelKeyRecorder.h"
#include "ProgramUnderTest.h"

namespace e2e {

inline constexpr DWORD kChordTimeoutMs = 5000;

// The events the program typed: everything but the test's own hot key.
inline std::vector<LowLevelKeyRecorder::Event> programEvents(const std::vector<LowLevelKeyRecorder::Event>& all) {
    std::vector<LowLevelKeyRecorder::Event> out;
    for (const auto& e : all)
        if (e.virtualKey != VK_OEM_3) out.push_back(e);
    return out;
}

inline bool isCtrl(DWORD vk) { return vk == VK_CONTROL || vk == VK_LCONTROL; }

inline void pressTilde() {
    sendKey(VK_OEM_3, 0);
    sendKey(VK_OEM_3, KEYEVENTF_KEYUP);
}

// Checks that `events` are one chord: Ctrl, Win and the arrow pressed, then
// released in the same order, all injected.
inline void expectOneChord(const std::vector<LowLevelKeyRecorder::Event>& events, DWORD arrow) {
    ASSERT_EQ(events.size(), 6u) << "not exactly one chord";
    const DWORD keys[6] = {VK_CONTROL, VK_LWIN, arrow, VK_CONTROL, VK_LWIN, arrow};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE("event " + std::to_string(i));
        if (keys[i] == VK_CONTROL) {
            EXPECT_TRUE(isCtrl(events[i].virtualKey)) << events[i].virtualKey;
        } else {
            EXPECT_EQ(events[i].virtualKey, keys[i]);
        }
        EXPECT_TRUE(events[i].flags & LLKHF_INJECTED);
        EXPECT_EQ((events[i].flags & LLKHF_UP) != 0, i >= 3);
    }
}

// Presses ~ once and checks that exactly one chord follows; `quietMs` is how
// long to watch for a second, unwanted one. `pressedAt`, when given, gets the
// performance counter of the press, to set against the recorded events'.
inline void pressTildeExpectChord(LowLevelKeyRecorder& recorder, DWORD arrow, DWORD quietMs = 300,
                                  LARGE_INTEGER* pressedAt = nullptr) {
    SCOPED_TRACE(arrow == VK_RIGHT ? "expecting Ctrl+Win+Right" : "expecting Ctrl+Win+Left");
    recorder.clear();
    if (pressedAt != nullptr) QueryPerformanceCounter(pressedAt);
    pressTilde();
    ASSERT_TRUE(recorder.waitFor([](const auto& all) { return programEvents(all).size() >= 6; }, kChordTimeoutMs))
        << "the program typed " << programEvents(recorder.events()).size() << " events";
    Sleep(quietMs);
    expectOneChord(programEvents(recorder.events()), arrow);
}

// Presses ~ once and checks that nothing of the program's follows.
inline void pressTildeExpectNothing(LowLevelKeyRecorder& recorder, DWORD quietMs = 900) {
    recorder.clear();
    pressTilde();
    ASSERT_TRUE(recorder.waitFor([](const auto& all) { return all.size() >= 2; }, kChordTimeoutMs))
        << "the hook did not see the press itself";
    Sleep(quietMs);
    EXPECT_EQ(programEvents(recorder.events()).size(), 0u) << "a chord came without the hot key";
}

inline void releaseChordKeys() {
    releaseHeldKeys({VK_CONTROL, VK_LCONTROL, VK_LWIN, VK_RIGHT, VK_LEFT, VK_OEM_3, VK_MENU, VK_ESCAPE});
}

}  // namespace e2e
