// The built program kept busy for a while: hundreds of hot-key presses in a
// row, and hundreds of trips of its window into the notification area and
// back. Each press must give exactly one correct chord and leave no key down;
// the trips must leave exactly one icon; and the program's memory must stay
// within a small bound. (Icon handles cannot be seen from another process;
// CompositionTest.cpp proves them in-process.)

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "ChordChecks.h"
#include "ProgramUnderTest.h"
#include "WindowState.h"

namespace {

using e2e::ProgramUnderTest;

// Bounds of the press soak.
constexpr int kPresses = 300;
constexpr DWORD kPressSoakTimeBoundMs = 120000;
// Bounds of the window soak.
constexpr int kCycles = 200;
constexpr int kWarmUpCycles = 20;
constexpr DWORD kCycleSoakTimeBoundMs = 120000;
constexpr DWORD kCallTimeoutMs = 5000;
// Memory the program may gain over the soak, measured after a warm-up.
constexpr SIZE_T kMaxWorkingSetGrowthBytes = 2 * 1024 * 1024;
constexpr DWORD kQuietMs = 1000;

TEST(Soak, HundredsOfPressesGiveOneChordEachAndLeaveNoKeyDown) {
    LowLevelKeyRecorder recorder;
    ASSERT_TRUE(recorder.installed());
    ProgramUnderTest program;
    ASSERT_TRUE(program.start()) << e2e::programPath();

    // The first press warms the program up; memory is measured from there.
    e2e::pressTildeExpectChord(recorder, VK_RIGHT, 0);
    if (HasFatalFailure()) return;
    const SIZE_T memoryBefore = program.workingSet();
    ASSERT_GT(memoryBefore, 0u) << "the working set cannot be read";

    recorder.clear();
    const ULONGLONG start = GetTickCount64();
    for (int i = 1; i <= kPresses; ++i) {
        const DWORD arrow = (i % 2 == 0) ? VK_RIGHT : VK_LEFT;
        // Each press waits for its chord: a press made while the program's
        // Ctrl is down would be Ctrl+~, which is not the hot key.
        e2e::pressTilde();
        const size_t expected = 6 * static_cast<size_t>(i);
        ASSERT_TRUE(recorder.waitFor(
            [&](const auto& all) { return e2e::programEvents(all).size() >= expected; }, e2e::kChordTimeoutMs))
            << "press " << i << ": no chord";
        const auto events = e2e::programEvents(recorder.events());
        const std::vector<LowLevelKeyRecorder::Event> chord(events.end() - 6, events.end());
        SCOPED_TRACE("press " + std::to_string(i));
        e2e::expectOneChord(chord, arrow);
        if (HasFailure()) return;
        ASSERT_LT(GetTickCount64() - start, kPressSoakTimeBoundMs);
    }
    const ULONGLONG soakMs = GetTickCount64() - start;
    Sleep(kQuietMs);

    const auto events = e2e::programEvents(recorder.events());
    EXPECT_EQ(events.size(), 6u * kPresses) << "extra events after the last press";
    // Every key the program pressed it also released, one up after each down.
    std::map<DWORD, int> held;
    int unmatched = 0;
    for (const auto& e : events) {
        const DWORD key = e2e::isCtrl(e.virtualKey) ? VK_CONTROL : e.virtualKey;
        if (e.flags & LLKHF_UP) {
            if (held[key] != 1) ++unmatched;
            held[key] = 0;
        } else {
            if (held[key] != 0) ++unmatched;
            held[key] = 1;
        }
    }
    EXPECT_EQ(unmatched, 0) << "a key went down twice or up without going down";
    for (const auto& [key, down] : held) EXPECT_EQ(down, 0) << "key " << key << " left down";
    for (BYTE vk : {VK_CONTROL, VK_LCONTROL, VK_LWIN, VK_LEFT, VK_RIGHT}) {
        EXPECT_EQ(GetAsyncKeyState(vk) & 0x8000, 0) << "the system takes key " << int(vk) << " as held";
    }

    EXPECT_TRUE(program.responsive());
    const SIZE_T memoryAfter = program.workingSet();
    EXPECT_LE(memoryAfter, memoryBefore + kMaxWorkingSetGrowthBytes);
    std::printf("press soak: %d presses in %llu ms (%.1f ms each), %zu events typed; working set %.0f KiB after "
                "the first press, %.0f KiB after the last\n",
                kPresses, soakMs, double(soakMs) / kPresses, events.size(), memoryBefore / 1024.0,
                memoryAfter / 1024.0);

    PostMessageA(program.window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program.waitForExit(10000), 0u);
    e2e::releaseChordKeys();
}

TEST(Soak, HundredsOfTripsToTheNotificationAreaKeepOneIcon) {
    // Hundreds of hides: without window management, see ProgramUnderTest.h.
    e2e::WineX11Setting unmanaged({"tolvane.exe"}, "Managed", "N");
    const size_t iconsBefore = e2e::shownTrayIcons().size();
    ProgramUnderTest program;
    ASSERT_TRUE(program.start()) << e2e::programPath();
    HWND window = program.window();

    SIZE_T memoryAfterWarmUp = 0;
    const ULONGLONG start = GetTickCount64();
    for (int i = 0; i < kCycles; ++i) {
        SCOPED_TRACE("cycle " + std::to_string(i));
        // What the minimise button, the shell's double-click on the icon and
        // the taskbar button send.
        ASSERT_TRUE(program.deliver(WM_SYSCOMMAND, SC_MINIMIZE, 0, kCallTimeoutMs));
        ASSERT_TRUE(e2e::settlesVisible(window, false));
        ASSERT_TRUE(e2e::settlesIconic(window, true));
        ASSERT_TRUE(e2e::waitUntil([&] { return e2e::shownTrayIcons().size() == iconsBefore + 1; }, kCallTimeoutMs))
            << "icons of the program in the notification area: " << e2e::shownTrayIcons().size() - iconsBefore;
        ASSERT_TRUE(program.deliver(e2e::kTrayCallback, e2e::kTrayIconId, WM_LBUTTONDBLCLK, kCallTimeoutMs));
        ASSERT_TRUE(e2e::settlesVisible(window, true));
        ASSERT_TRUE(e2e::settlesIconic(window, true));
        ASSERT_TRUE(program.deliver(WM_SYSCOMMAND, SC_RESTORE, 0, kCallTimeoutMs));
        ASSERT_TRUE(e2e::settlesVisible(window, true));
        ASSERT_TRUE(e2e::settlesIconic(window, false));
        if (i + 1 == kWarmUpCycles) memoryAfterWarmUp = program.workingSet();
        ASSERT_LT(GetTickCount64() - start, kCycleSoakTimeBoundMs);
    }
    const ULONGLONG soakMs = GetTickCount64() - start;
    // Give the stand-in tray time to show a second icon, if there were one.
    Sleep(kQuietMs);
    EXPECT_EQ(e2e::shownTrayIcons().size(), iconsBefore + 1);
    EXPECT_TRUE(program.responsive());
    const SIZE_T memoryAtEnd = program.workingSet();
    ASSERT_GT(memoryAfterWarmUp, 0u) << "the working set cannot be read";
    EXPECT_LE(memoryAtEnd, memoryAfterWarmUp + kMaxWorkingSetGrowthBytes);
    std::printf("window soak: %d cycles in %llu ms; working set %.0f KiB after %d cycles, %.0f KiB after %d\n",
                kCycles, soakMs, memoryAfterWarmUp / 1024.0, kWarmUpCycles, memoryAtEnd / 1024.0, kCycles);

    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.waitForExit(10000), 0u);
    EXPECT_TRUE(e2e::waitUntil([&] { return e2e::shownTrayIcons().size() == iconsBefore; }, kCallTimeoutMs))
        << "the icon stayed after the program ended";
}

}  // namespace
