// The notification-area icon with the real Shell_NotifyIconA. Without a
// virtual desktop and without a tray manager on the X display, Wine's X11
// driver shows notification-area icons in a top-level window of its own
// ("__winex11_standalone_tray"), one child window per icon; the shell posts
// the mouse messages made on such a child to the icon's owner window. That
// window layout is Wine's, so on Windows the test is skipped.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "app/AppIconImage.h"
#include "platform/AppMessages.h"
#include "platform/TrayIcon.h"

namespace {

using ::testing::ElementsAre;

constexpr char kStandaloneTrayClass[] = "__winex11_standalone_tray";
constexpr char kTrayIconWindowClass[] = "__winex11_tray_icon";

bool runningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The icon windows currently shown (visible) in Wine's stand-in tray.
std::vector<HWND> shownIconWindows() {
    std::vector<HWND> icons;
    HWND tray = FindWindowA(kStandaloneTrayClass, nullptr);
    if (tray == nullptr) return icons;
    for (HWND child = FindWindowExA(tray, nullptr, kTrayIconWindowClass, nullptr); child != nullptr;
         child = FindWindowExA(tray, child, kTrayIconWindowClass, nullptr)) {
        if (IsWindowVisible(child)) icons.push_back(child);
    }
    return icons;
}

void pumpFor(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    MSG msg;
    while (GetTickCount() - start < milliseconds) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        Sleep(10);
    }
}

template <typename Done>
bool pumpUntil(Done done, DWORD milliseconds = 3000) {
    const DWORD start = GetTickCount();
    MSG msg;
    while (!done()) {
        if (GetTickCount() - start > milliseconds) return false;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        Sleep(10);
    }
    return true;
}

class RecordingReactions : public AppReactions {
public:
    std::vector<std::int32_t> trayActions;
    void handleCreated() override {}
    void handlePositionChanged() override {}
    void handleTrayAction(std::int32_t code) override { trayActions.push_back(code); }
    void handleHotKey(std::int32_t, std::int32_t) override {}
};

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

void click(DWORD down, DWORD up) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = down;
    input[1].mi.dwFlags = up;
    SendInput(2, input, sizeof(INPUT));
}

TEST(TrayIconRealShell, IconAppearsAnswersClicksAndGoes) {
    if (!runningUnderWine()) GTEST_SKIP() << "the stand-in tray window is Wine's own";

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

    const std::vector<HWND> before = shownIconWindows();
    tray.setTrayIcon(AppIconImage.data(), AppIconImage.size(), "Pelvantra");
    ASSERT_TRUE(pumpUntil([&] { return shownIconWindows().size() == before.size() + 1; }))
        << "the icon did not appear";
    HWND iconWindow = nullptr;
    for (HWND w : shownIconWindows()) {
        if (std::find(before.begin(), before.end(), w) == before.end()) iconWindow = w;
    }
    ASSERT_NE(iconWindow, nullptr);

    // A replacement keeps one icon.
    tray.setTrayIcon(AppIconImage.data(), AppIconImage.size(), "Pelvantra");
    pumpFor(300);
    EXPECT_EQ(shownIconWindows().size(), before.size() + 1);

    // A double-click and a right click on the icon, as a user makes them.
    RECT rect;
    ASSERT_TRUE(GetWindowRect(iconWindow, &rect));
    SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    pumpFor(200);
    click(MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
    click(MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
    pumpFor(GetDoubleClickTime() + 100);
    click(MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
    pumpUntil([&] { return reactions.trayActions.size() >= 4; });
    EXPECT_THAT(reactions.trayActions, ElementsAre(1, 2, 1, 3));

    tray.removeTrayIcon();
    EXPECT_TRUE(pumpUntil([&] { return shownIconWindows().size() == before.size(); })) << "the icon stayed";

    g_tray = nullptr;
    DestroyWindow(owner);
    UnregisterClassA(wc.lpszClassName, wc.hInstance);
}

}  // namespace
