// A flood of messages that any other program on the desktop could post to
// the built program's windows: the shell's callback message with mouse codes
// that do nothing, destroy requests nobody made, hot-key messages with ids
// that are not the program's, and arbitrary messages of the application
// range to both windows. Afterwards the program must still run, answer at
// once, show its window as before, and alternate its chords from where it
// left off, without having typed anything during the flood.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "ChordChecks.h"
#include "ProgramUnderTest.h"

namespace {

using e2e::kTrayCallback;
using e2e::ProgramUnderTest;

// Bounds of the flood.
constexpr int kFloodMessages = 40000;
constexpr unsigned kSeed = 20261211;
constexpr DWORD kFloodTimeBoundMs = 60000;
constexpr DWORD kResponsiveTimeoutMs = 5000;
// How long to watch for anything typed after the last chord.
constexpr DWORD kSettleMs = 1000;

constexpr UINT kDestroyRequest = 0x8065;
constexpr UINT kHotKeyNotify = 0x8075;
constexpr WPARAM kOurHotKeyId = 33001;

// The mouse codes in the shell's callback that make the program act: show
// the window, end the program.
bool acts(LPARAM mouseCode) {
    return mouseCode == WM_LBUTTONDBLCLK || mouseCode == WM_RBUTTONUP || mouseCode == WM_CONTEXTMENU;
}

enum Kind { TrayCallback, DestroyRequest, ForeignHotKey, AppRangeToMain, AppRangeToLabel, kKinds };

struct Flood {
    int sent[kKinds] = {};
    int refused = 0;  // PostMessage failed (a full queue); retried
};

TEST(Flood, MessagesFromOtherProgramsLeaveItRunningAndAlternating) {
    LowLevelKeyRecorder recorder;
    ASSERT_TRUE(recorder.installed());
    ProgramUnderTest program;
    ASSERT_TRUE(program.start()) << e2e::programPath();
    HWND main = program.window();
    HWND label = GetDlgItem(main, 100);
    ASSERT_NE(label, nullptr);
    const size_t iconsBefore = e2e::shownTrayIcons().size();

    // One press before the flood, so that the next one must go left.
    e2e::pressTildeExpectChord(recorder, VK_RIGHT);
    if (HasFatalFailure()) return;
    recorder.clear();

    std::mt19937 random(kSeed);
    std::uniform_int_distribution<int> kind(0, kKinds - 1);
    std::uniform_int_distribution<unsigned> any32;
    std::uniform_int_distribution<unsigned long long> any64;
    std::uniform_int_distribution<UINT> appRange(WM_APP, 0xBFFF);
    Flood flood;
    const ULONGLONG start = GetTickCount64();
    for (int i = 0; i < kFloodMessages; ++i) {
        HWND to = main;
        UINT message = 0;
        WPARAM wParam = static_cast<WPARAM>(any64(random));
        LPARAM lParam = static_cast<LPARAM>(any64(random));
        const int k = kind(random);
        switch (k) {
        case TrayCallback:
            // Any mouse code but the three that act, half of them from the
            // mouse-message range the shell really uses.
            message = kTrayCallback;
            if (i % 2 == 0) lParam = static_cast<LPARAM>(WM_MOUSEFIRST + any32(random) % 16);
            while (acts(lParam)) lParam = static_cast<LPARAM>(any64(random));
            break;
        case DestroyRequest:
            message = kDestroyRequest;
            break;
        case ForeignHotKey:
            // A hot-key id is a 32-bit number, so it fills the low half of
            // wParam only.
            message = WM_HOTKEY;
            wParam = any32(random);
            if (i % 2 == 0) wParam = kOurHotKeyId + 1 + any32(random) % 100;  // near ours
            while (wParam == kOurHotKeyId) wParam = any32(random);
            break;
        case AppRangeToMain:
            message = appRange(random);
            if (message == kTrayCallback) {
                while (acts(lParam)) lParam = static_cast<LPARAM>(any64(random));
            }
            break;
        case AppRangeToLabel:
            to = label;
            message = appRange(random);
            // The label's one message of the program's own is the hot key
            // service's notification: it stands for a press of the key and
            // types a chord by design, so it is no noise.
            while (message == kHotKeyNotify) message = appRange(random);
            break;
        }
        while (!PostMessageA(to, message, wParam, lParam)) {
            ++flood.refused;
            ASSERT_TRUE(program.running()) << "the program ended during the flood, after " << i << " messages";
            ASSERT_LT(GetTickCount64() - start, kFloodTimeBoundMs) << "the queue stayed full";
            Sleep(10);
        }
        ++flood.sent[k];
    }
    const ULONGLONG postedMs = GetTickCount64() - start;

    // Posted messages are handled in the order posted, so a last one with a
    // visible effect shows when the flood has been worked through: the
    // program's own hot-key message, as Windows posts it for a press. Its
    // chord must be the only thing typed since the flood began, and must go
    // left: nothing in the flood flipped the direction.
    PostMessageA(main, WM_HOTKEY, kOurHotKeyId, MAKELPARAM(0, VK_OEM_3));
    ASSERT_TRUE(recorder.waitFor([](const auto& all) { return e2e::programEvents(all).size() >= 6; },
                                 kFloodTimeBoundMs))
        << "the program did not work through the flood in time";
    const ULONGLONG drainedMs = GetTickCount64() - start;
    Sleep(kSettleMs);
    e2e::expectOneChord(e2e::programEvents(recorder.events()), VK_LEFT);

    // It answers at once, runs on as before, and the key goes on alternating.
    EXPECT_TRUE(program.responsive(kResponsiveTimeoutMs)) << "the program does not answer after the flood";
    EXPECT_TRUE(program.running());
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_FALSE(IsIconic(main));
    EXPECT_EQ(e2e::shownTrayIcons().size(), iconsBefore) << "the flood put an icon into the notification area";
    e2e::pressTildeExpectChord(recorder, VK_RIGHT);
    e2e::pressTildeExpectChord(recorder, VK_LEFT);

    std::printf("flood: %d messages (seed %u): %d tray callbacks, %d destroy requests, %d foreign hot keys, "
                "%d application-range to the main window, %d to the label; %d posts refused and retried; "
                "posted in %llu ms, handled within %llu ms\n",
                kFloodMessages, kSeed, flood.sent[TrayCallback], flood.sent[DestroyRequest],
                flood.sent[ForeignHotKey], flood.sent[AppRangeToMain], flood.sent[AppRangeToLabel], flood.refused,
                postedMs, drainedMs);

    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.waitForExit(10000), 0u);
    e2e::releaseChordKeys();
}

}  // namespace
