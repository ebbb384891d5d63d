// The notification-area icon with the real Shell_NotifyIconA. Without a
// virtual desktop and without a tray manager on the X display, Wine's X11
// driver shows notification-area icons in a top-level window of its own
// ("__winex11_standalone_tray"), one child window per icon; the shell posts
// the mouse messages made on such a child to the icon's owner window. That
// window layout is Wine's, so on Windows the test is skipped.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <vector>

#include "ProgramUnderTest.h"
#include "IconChecks.h"
#include "app/AppIconImage.h"
#include "platform/AppMessages.h"
#include "platform/TrayIcon.h"

namespace {

using ::testing::ElementsAre;
using e2e::RecordingReactions;

// How long the shell may take to show or remove the icon.
constexpr DWORD kShellTimeoutMs = 3000;

// Stands in for the main window: hands the tray messages over as the window
// host does.
TrayIcon* g_tray = nullptr;

LRESULT CALLBACK ownerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kTrayCallbackMessage && g_tray != nullptr) {
        g_tray->onTrayCallback(wParam, lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(TrayIconRealShell, IconAppearsAnswersClicksAndGoes) {
    if (!e2e::runningUnderWine()) GTEST_SKIP() << "the stand-in tray window is Wine's own";

    WNDCLASSA wc{};
    wc.lpfnWndProc = ownerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TrayShellTestOwner";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND owner = CreateWindowExA(0, wc.lpszClassName, "owner", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                 nullptr, wc.hInstance, nullptr);
    ASSERT_NE(owner, nullptr);

    RecordingReactions reactions;
    TrayIcon tray;  // the product's seam: the real Shell_NotifyIconA
    tray.bind(&reactions);
    tray.attachOwnerWindow(owner);
    g_tray = &tray;

    const std::vector<HWND> before = e2e::shownTrayIcons();
    tray.setTrayIcon(AppIconImage.data(), AppIconImage.size(), "Pelvantra");
    ASSERT_TRUE(e2e::waitUntil([&] { return e2e::shownTrayIcons().size() == before.size() + 1; }, kShellTimeoutMs))
        << "the icon did not appear";
    HWND iconWindow = e2e::newTrayIcon(before, e2e::shownTrayIcons());
    ASSERT_NE(iconWindow, nullptr);

    // A replacement keeps one icon.
    tray.setTrayIcon(AppIconImage.data(), AppIconImage.size(), "Pelvantra");
    e2e::pumpFor(300);
    EXPECT_EQ(e2e::shownTrayIcons().size(), before.size() + 1);

    // A double-click and a right click on the icon, as a user makes them.
    RECT rect;
    ASSERT_TRUE(GetWindowRect(iconWindow, &rect));
    const POINT centre = e2e::centreOf(iconWindow);
    SetCursorPos(centre.x, centre.y);
    e2e::pumpFor(200);
    e2e::mouseButtons({MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP});
    e2e::mouseButtons({MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP});
    e2e::pumpFor(GetDoubleClickTime() + 100);
    e2e::mouseButtons({MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP});
    e2e::waitUntil([&] { return reactions.trayActions.size() >= 4; }, kShellTimeoutMs);
    EXPECT_THAT(reactions.trayActions, ElementsAre(1, 2, 1, 3));

    tray.removeTrayIcon();
    EXPECT_TRUE(e2e::waitUntil([&] { return e2e::shownTrayIcons().size() == before.size(); }, kShellTimeoutMs))
        << "the icon stayed";

    g_tray = nullptr;
    DestroyWindow(owner);
    UnregisterClassA(wc.lpszClassName, wc.hInstance);
}

}  // namespace
