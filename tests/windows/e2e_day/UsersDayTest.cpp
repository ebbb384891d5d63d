// A user's day with the program, told step by step: the built tolvane.exe
// runs under Wine and this process plays the user. It presses keys, clicks
// the caption buttons and the notification-area icon, and checks at each step
// what the user would see: the window and its red hint, the chords the
// program types (through a low-level keyboard hook), the icon in the
// notification area, and how the program ends.

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ChordChecks.h"
#include "HostTestSupport.h"
#include "ProgramUnderTest.h"
#include "WindowState.h"

namespace {

using e2e::ProgramUnderTest;
using e2e::pressTildeExpectChord;
using e2e::pressTildeExpectNothing;

constexpr int kWindowWidth = 284;
constexpr int kWindowHeight = 50;
constexpr DWORD kStateChangeTimeoutMs = e2e::kSettleTimeoutMs;
constexpr DWORD kExitTimeoutMs = 10000;

// Every test starts with the keyboard hook in place and ends with no key of
// the chord held, so that a failure does not leave Ctrl or Win down for the
// next one.
class UsersDay : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(e2e::programPath().empty()) << "TOLVANE_EXE is not set";
        ASSERT_TRUE(recorder_.installed());
        iconsBefore_ = e2e::shownTrayIcons();
    }
    void TearDown() override {
        e2e::releaseChordKeys();
    }

    size_t ourIcons() const { return e2e::shownTrayIcons().size() - iconsBefore_.size(); }

    // Minimises by a click on the window's minimise button and waits until
    // the window has gone to the notification area.
    void minimiseByButton(ProgramUnderTest& program) {
        HWND window = program.window();
        ASSERT_TRUE(e2e::clickCaptionButton(window, HTMINBUTTON)) << "no minimise button found by hit test";
        ASSERT_TRUE(e2e::settlesVisible(window, false)) << "the minimise button did not hide the window";
        EXPECT_TRUE(e2e::settlesIconic(window, true)) << "hidden but not minimised";
        ASSERT_TRUE(e2e::waitUntil([&] { return ourIcons() == 1; }, kStateChangeTimeoutMs))
            << "icons of the program in the notification area: " << ourIcons();
    }

    // Double-clicks the program's icon and waits until the window is back.
    void doubleClickIcon(ProgramUnderTest& program) {
        HWND icon = e2e::newTrayIcon(iconsBefore_, e2e::shownTrayIcons());
        ASSERT_NE(icon, nullptr) << "the program has no icon to click";
        e2e::doubleClickOn(icon);
        ASSERT_TRUE(e2e::settlesVisible(program.window(), true)) << "the double-click did not show the window";
    }

    // Restores the window as its taskbar button does, and waits until it is
    // back whole at its place: the state turns before the window has moved.
    void restoreFromTaskbar(ProgramUnderTest& program) {
        HWND window = program.window();
        PostMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
        ASSERT_TRUE(e2e::waitUntil([&] { return !IsIconic(window) && IsWindowVisible(window); }, kStateChangeTimeoutMs))
            << "the window was not restored";
        const e2e::Placement centred = e2e::centredOnScreen(kWindowWidth, kWindowHeight);
        ASSERT_EQ(e2e::settledPlacement(window, centred), centred) << "the restored window is not back at its place";
    }

    void expectEndedCleanly(ProgramUnderTest& program, HWND window) {
        EXPECT_EQ(program.waitForExit(kExitTimeoutMs), 0u) << "exit code (259 = still running)";
        EXPECT_FALSE(IsWindow(window));
        EXPECT_TRUE(e2e::waitUntil([&] { return ourIcons() == 0; }, kStateChangeTimeoutMs))
            << "the icon stayed in the notification area after the program ended";
    }

    // There is no window manager on the test display: Wine draws the frame
    // itself, so that the user's clicks on the caption buttons land.
    e2e::WineX11Setting wineDrawsTheFrame_{{"tolvane.exe"}, "Decorated", "N"};
    LowLevelKeyRecorder recorder_;
    std::vector<HWND> iconsBefore_;
};

TEST_F(UsersDay, FromStartThroughTheNotificationAreaToEsc) {
    // Morning: the program starts and shows its window in the middle of the
    // screen, with nothing in the notification area yet.
    ProgramUnderTest program;
    ASSERT_TRUE(program.start()) << "the program did not show its window: " << e2e::programPath();
    HWND window = program.window();
    const e2e::Placement centred = e2e::centredOnScreen(kWindowWidth, kWindowHeight);
    EXPECT_EQ(e2e::settledPlacement(window, centred), centred);
    EXPECT_EQ(ourIcons(), 0u);

    // The user reads the red hint: pure red pixels inside the label, the
    // button face everywhere else in the client area.
    {
        HWND label = GetDlgItem(window, 100);
        ASSERT_NE(label, nullptr);
        ASSERT_TRUE(e2e::bringToFront(window));
        ClientAreaPixels pixels;
        e2e::waitUntil(
            [&] {
                pixels = clientAreaPixels(window, label);
                return pixels.pureRedInLabel > 50 && pixels.redOutside == 0 && pixels.notFaceOutside == 0;
            },
            kStateChangeTimeoutMs);
        EXPECT_GT(pixels.pureRedInLabel, 50) << "the hint is not drawn in red";
        EXPECT_EQ(pixels.redOutside, 0);
        EXPECT_EQ(pixels.notFaceOutside, 0) << "the client area outside the label is not the button face";
    }

    // At work: ~ flips to the right, back to the left, to the right again.
    pressTildeExpectChord(recorder_, VK_RIGHT);
    pressTildeExpectChord(recorder_, VK_LEFT);
    pressTildeExpectChord(recorder_, VK_RIGHT);
    if (HasFatalFailure()) return;

    // The user clicks the minimise button: the window leaves the screen and
    // the taskbar, and one icon appears in the notification area.
    minimiseByButton(program);
    if (HasFatalFailure()) return;
    EXPECT_TRUE(e2e::waitUntil([&] { return e2e::visibleTopLevelWindowsOf(program.processId()).empty(); },
                               kStateChangeTimeoutMs))
        << "a window of the program is still on the screen";

    // The key works on while the window is away, and the direction carries
    // on from where it was.
    pressTildeExpectChord(recorder_, VK_LEFT);
    pressTildeExpectChord(recorder_, VK_RIGHT);
    if (HasFatalFailure()) return;

    // A double-click on the icon brings the window back as a taskbar
    // button: visible, still minimised, and the icon stays.
    doubleClickIcon(program);
    if (HasFatalFailure()) return;
    EXPECT_TRUE(e2e::settlesIconic(window, true))
        << "the double-click restored the window instead of showing it minimised";
    EXPECT_EQ(e2e::settledValue([&] { return ourIcons(); }, size_t{1}), 1u);

    // The user restores it from the taskbar: the whole window is back where
    // it was, the icon still in the notification area.
    restoreFromTaskbar(program);
    if (HasFatalFailure()) return;
    EXPECT_EQ(e2e::settledValue([&] { return ourIcons(); }, size_t{1}), 1u);
    pressTildeExpectChord(recorder_, VK_LEFT);
    if (HasFatalFailure()) return;

    // Evening: Esc in the window ends the program, and its icon goes with it.
    ASSERT_TRUE(e2e::bringToFront(window));
    e2e::pressChord({VK_ESCAPE});
    expectEndedCleanly(program, window);
    // After the program has gone, ~ types nothing of its own.
    pressTildeExpectNothing(recorder_);
}

// The shell restarts while the window is tucked away: its notification area
// comes back empty and it broadcasts "TaskbarCreated". Here this process
// plays the restart: it takes the program's icon away, as a crashed shell
// loses it, and broadcasts the message. The icon must come back each time,
// the window stay tucked away, and the icon still bring it back and end it.
TEST_F(UsersDay, TheIconComesBackEachTimeTheTaskbarRestarts) {
    ProgramUnderTest program;
    ASSERT_TRUE(program.start()) << e2e::programPath();
    HWND window = program.window();
    minimiseByButton(program);
    if (HasFatalFailure()) return;

    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    for (int restart = 1; restart <= 3; ++restart) {
        SCOPED_TRACE("restart " + std::to_string(restart));
        NOTIFYICONDATAA lost = {};
        lost.cbSize = NOTIFYICONDATAA_V1_SIZE;
        lost.hWnd = window;
        lost.uID = static_cast<UINT>(e2e::kTrayIconId);
        ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &lost)) << "the program's icon could not be taken away";
        ASSERT_TRUE(e2e::waitUntil([&] { return ourIcons() == 0; }, kStateChangeTimeoutMs));

        PostMessageA(HWND_BROADCAST, taskbarCreated, 0, 0);
        EXPECT_TRUE(e2e::waitUntil([&] { return ourIcons() == 1; }, kStateChangeTimeoutMs))
            << "the icon did not come back; icons of the program: " << ourIcons();
        EXPECT_FALSE(IsWindowVisible(window)) << "the window came out of the notification area";
        ASSERT_TRUE(program.responsive());
    }

    // A broadcast the shell did not send (another program's): the icon is
    // still there, so it stays one icon.
    PostMessageA(HWND_BROADCAST, taskbarCreated, 0, 0);
    ASSERT_TRUE(program.responsive());
    e2e::pumpFor(500);
    EXPECT_EQ(ourIcons(), 1u);
    EXPECT_FALSE(IsWindowVisible(window));

    // The icon that came back works: a double-click shows the window.
    doubleClickIcon(program);
    if (HasFatalFailure()) return;
    EXPECT_TRUE(e2e::settlesIconic(window, true));
    restoreFromTaskbar(program);
    if (HasFatalFailure()) return;
    minimiseByButton(program);
    if (HasFatalFailure()) return;
    e2e::pumpFor(500);
    EXPECT_EQ(ourIcons(), 1u) << "exactly one icon after minimising again";

    HWND icon = e2e::newTrayIcon(iconsBefore_, e2e::shownTrayIcons());
    ASSERT_NE(icon, nullptr);
    e2e::rightClickOn(icon);
    expectEndedCleanly(program, window);
}

// The other ways the day ends, each with the icon already in the
// notification area: all end the program with exit code 0 and take the icon
// away.
enum class Ending { AltF4, CloseButton, RightClickOnIcon, ContextMenuRequest };

std::string endingName(const ::testing::TestParamInfo<Ending>& info) {
    switch (info.param) {
    case Ending::AltF4: return "AltF4";
    case Ending::CloseButton: return "CloseButton";
    case Ending::RightClickOnIcon: return "RightClickOnIcon";
    case Ending::ContextMenuRequest: return "ContextMenuRequest";
    }
    return "unknown";
}

class UsersDayEnding : public UsersDay, public ::testing::WithParamInterface<Ending> {};

TEST_P(UsersDayEnding, EndsWithExitCodeZeroAndTakesTheIconAway) {
    ProgramUnderTest program;
    ASSERT_TRUE(program.start()) << e2e::programPath();
    HWND window = program.window();
    minimiseByButton(program);
    if (HasFatalFailure()) return;

    switch (GetParam()) {
    case Ending::AltF4:
    case Ending::CloseButton:
        // Only a window on the screen can be closed by the user.
        doubleClickIcon(program);
        if (HasFatalFailure()) return;
        restoreFromTaskbar(program);
        if (HasFatalFailure()) return;
        ASSERT_TRUE(e2e::bringToFront(window));
        if (GetParam() == Ending::AltF4) {
            e2e::pressChord({VK_MENU, VK_F4});
        } else {
            ASSERT_TRUE(e2e::clickCaptionButton(window, HTCLOSE)) << "no close button found by hit test";
        }
        break;
    case Ending::RightClickOnIcon: {
        HWND icon = e2e::newTrayIcon(iconsBefore_, e2e::shownTrayIcons());
        ASSERT_NE(icon, nullptr);
        e2e::rightClickOn(icon);
        break;
    }
    case Ending::ContextMenuRequest:
        // A shell that speaks the newer icon protocol reports a context-menu
        // request (keyboard, or a right click) as WM_CONTEXTMENU. Wine's
        // stand-in tray never does, because the program sets no version, so
        // the test sends the callback as such a shell would.
        PostMessageA(window, e2e::kTrayCallback, e2e::kTrayIconId, WM_CONTEXTMENU);
        break;
    }
    expectEndedCleanly(program, window);
}

INSTANTIATE_TEST_SUITE_P(Ways, UsersDayEnding,
                         ::testing::Values(Ending::AltF4, Ending::CloseButton, Ending::RightClickOnIcon,
                                           Ending::ContextMenuRequest),
                         endingName);

// A second copy started by mistake runs on without the key, which the first
// keeps; when the first has ended the second still does not have it, since
// the key is only asked for at start.
TEST_F(UsersDay, ASecondInstanceRunsOnWithoutTheKey) {
    ProgramUnderTest first;
    ASSERT_TRUE(first.start()) << e2e::programPath();
    ProgramUnderTest second;
    ASSERT_TRUE(second.start()) << "the second instance did not show its window";
    EXPECT_TRUE(e2e::visibleTopLevelWindowsOf(second.processId()).size() == 1u)
        << "the second instance shows more than its window (a message?)";

    pressTildeExpectChord(recorder_, VK_RIGHT);
    pressTildeExpectChord(recorder_, VK_LEFT);
    if (HasFatalFailure()) return;
    EXPECT_TRUE(second.running());
    EXPECT_TRUE(second.responsive());

    HWND firstWindow = first.window();
    ASSERT_TRUE(e2e::bringToFront(firstWindow));
    e2e::pressChord({VK_ESCAPE});
    EXPECT_EQ(first.waitForExit(kExitTimeoutMs), 0u);
    EXPECT_TRUE(second.running()) << "Esc in the first window ended the second instance";

    pressTildeExpectNothing(recorder_);
    EXPECT_TRUE(second.responsive());

    HWND secondWindow = second.window();
    ASSERT_TRUE(e2e::bringToFront(secondWindow));
    e2e::pressChord({VK_ESCAPE});
    EXPECT_EQ(second.waitForExit(kExitTimeoutMs), 0u);
}

}  // namespace
