#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "ChordChecks.h"
#include "LowLevelKeyRecorder.h"
#include "ProgramUnderTest.h"
#include "WindowState.h"

namespace {

using e2e::ProgramUnderTest;

// One program for the whole suite: the direction alternates across all its
// presses, so the suite keeps count of them.
class HotKeyEndToEndTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        QueryPerformanceFrequency(&frequency);
        recorder = new LowLevelKeyRecorder();
        program = new ProgramUnderTest();
        started = program->start(20000, nullptr);
    }
    static void TearDownTestSuite() {
        program->close();
        delete program;
        program = nullptr;
        delete recorder;
        recorder = nullptr;
        e2e::releaseChordKeys();
        if (!latenciesMs.empty()) {
            std::vector<double> sorted = latenciesMs;
            std::sort(sorted.begin(), sorted.end());
            std::cout << "press-to-first-injected-event over " << sorted.size() << " presses: p50 "
                      << sorted[(sorted.size() - 1) / 2] << " ms, max " << sorted.back() << " ms; in order:";
            for (double ms : latenciesMs) std::cout << " " << ms;
            std::cout << std::endl;
        }
    }
    void SetUp() override {
        ASSERT_TRUE(recorder->installed());
        ASSERT_TRUE(started) << "the program did not start or show its window: " << e2e::programPath();
    }

    // Presses the hot key once and checks that exactly one chord of six
    // events follows, Right on even presses and Left on odd ones. `quietMs`
    // is how long to watch for a second, unwanted chord.
    void pressAndExpectOneChord(DWORD quietMs) {
        const DWORD arrow = (pressCount % 2 == 0) ? VK_RIGHT : VK_LEFT;
        SCOPED_TRACE("press " + std::to_string(pressCount) + (arrow == VK_RIGHT ? " (Right)" : " (Left)"));
        ++pressCount;
        LARGE_INTEGER pressed;
        e2e::pressTildeExpectChord(*recorder, arrow, quietMs, &pressed);
        if (HasFatalFailure()) return;
        const auto events = e2e::programEvents(recorder->events());
        latenciesMs.push_back(double(events[0].counter - pressed.QuadPart) * 1000.0 / double(frequency.QuadPart));
    }

    static inline LowLevelKeyRecorder* recorder = nullptr;
    static inline ProgramUnderTest* program = nullptr;
    static inline bool started = false;
    static inline int pressCount = 0;
    static inline LARGE_INTEGER frequency = {};
    static inline std::vector<double> latenciesMs;
};

TEST_F(HotKeyEndToEndTest, PressesGiveAlternatingChords) {
    for (int i = 0; i < 6; ++i) {
        pressAndExpectOneChord(150);
        if (HasFatalFailure()) return;
    }
}

TEST_F(HotKeyEndToEndTest, TheHotKeyWorksWhileTheWindowIsInTheNotificationArea) {
    PostMessageA(program->window(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    // Under Wine on a display without a window manager, hiding a window
    // blocks the program for about two seconds (the X11 driver waits for the
    // window to be withdrawn); a press made then waits in its queue.
    ASSERT_TRUE(e2e::settlesVisible(program->window(), false)) << "minimising did not hide the window";
    EXPECT_TRUE(e2e::settlesIconic(program->window(), true));
    for (int i = 0; i < 4; ++i) {
        pressAndExpectOneChord(150);
        if (HasFatalFailure()) return;
    }
}

TEST_F(HotKeyEndToEndTest, ASecondInstanceDoesNotDoubleTheChord) {
    ProgramUnderTest second;
    ASSERT_TRUE(second.start(20000, nullptr));
    for (int i = 0; i < 4; ++i) {
        pressAndExpectOneChord(400);
        if (HasFatalFailure()) break;
    }
    second.close();
    // The first instance keeps the key after the second has gone.
    if (!HasFatalFailure()) pressAndExpectOneChord(150);
}

}  // namespace
