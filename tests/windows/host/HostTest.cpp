#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HostTestSupport.h"
#include "IconChecks.h"
#include "app/WindowDescription.h"
#include "platform/AppMessages.h"
#include "platform/WindowHost.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// While the windows are being created, sends and posts them the messages
// that would raise reactions (a move to the main window, a hot-key
// notification to the label), to show that none of them gets through.
HHOOK callHook = nullptr;
int postedDuringCreation = 0;

bool isMainWindow(HWND hwnd) {
    char title[64] = {};
    GetWindowTextA(hwnd, title, sizeof title);
    return GetParent(hwnd) == nullptr && std::string(title) == kWindowDescription.mainWindow.title;
}

LRESULT CALLBACK provokeDuringCreation(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* cwp = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && cwp->message == WM_CREATE) {
        if (isMainWindow(cwp->hwnd)) {
            SendMessageA(cwp->hwnd, WM_MOVE, 0, 0);
            PostMessageA(cwp->hwnd, WM_MOVE, 0, 0);
            ++postedDuringCreation;
        } else if (GetWindowLongA(cwp->hwnd, GWL_ID) == 100) {
            SendMessageA(cwp->hwnd, kHotKeyNotifyMessage, 1, 2);
            PostMessageA(cwp->hwnd, kHotKeyNotifyMessage, 1, 2);
            ++postedDuringCreation;
        }
    }
    return CallNextHookEx(callHook, code, wParam, lParam);
}

// A window of the test's own that notes what reaches it, to show that the
// queue is drained before the windows are created.
std::vector<UINT> probeMessages;
LRESULT CALLBACK probeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_APP) probeMessages.push_back(message);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

HWND makeProbe() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &probeProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "HostTestProbe";
    RegisterClassA(&wc);
    return CreateWindowExA(0, "HostTestProbe", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

// Sub-classes the main window as the hot key service does, noting the
// key-down messages of one key that are dispatched to it.
WNDPROC originalMainProc = nullptr;
WPARAM watchedKey = VK_ESCAPE;
int watchedKeyDownsDispatched = 0;
LRESULT CALLBACK recordingMainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if ((message == WM_KEYDOWN || message == WM_SYSKEYDOWN) && (wParam & 0xFF) == watchedKey) {
        ++watchedKeyDownsDispatched;
    }
    return CallWindowProcA(originalMainProc, hwnd, message, wParam, lParam);
}

void subclassMainWindow(HWND hwnd) {
    watchedKeyDownsDispatched = 0;
    originalMainProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&recordingMainProc)));
}

// The quit request the host's loop receives, seen from a message hook.
HHOOK getMessageHook = nullptr;
int quitsSeen = 0;
WPARAM lastQuitCode = 12345;
int provokingMessagesFetched = 0;
LRESULT CALLBACK watchQuit(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == WM_QUIT) {
        ++quitsSeen;
        lastQuitCode = msg->wParam;
    }
    if (code == HC_ACTION && wParam == PM_REMOVE &&
        ((msg->message == WM_MOVE && msg->lParam == 0) || msg->message == kHotKeyNotifyMessage)) {
        ++provokingMessagesFetched;
    }
    return CallNextHookEx(getMessageHook, code, wParam, lParam);
}

// What the host asked to let through privilege isolation. Under Wine there is
// no such isolation to see it by, so the host's seam records the calls.
struct MessageFilterCall {
    HWND window;
    UINT message;
    DWORD action;
    void* status;
};
std::vector<MessageFilterCall> messageFilterCalls;
BOOL WINAPI recordMessageFilter(HWND window, UINT message, DWORD action, void* status) {
    messageFilterCalls.push_back({window, message, action, status});
    return TRUE;
}

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Nothing left over from an earlier test may reach this one.
        pumpMessages();
        messageFilterCalls.clear();
        host.bind(&log, &log);
        log.watch(&host);
        quitsSeen = 0;
        lastQuitCode = 12345;
        getMessageHook = SetWindowsHookExA(WH_GETMESSAGE, &watchQuit, nullptr, GetCurrentThreadId());
    }
    void TearDown() override {
        UnhookWindowsHookEx(getMessageHook);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }

    void load() {
        host.startHost();
        host.loadMainWindow();
        main = log.owner;
        label = GetDlgItem(main, kWindowDescription.hintLabel.controlId);
    }

    // Lets the window reach the screen: Wine flushes window surfaces after
    // painting, from the message loop.
    void settle() {
        UpdateWindow(main);
        pumpMessages(300);
    }

    // For a window that went before the loop started: no quit waits in the
    // queue, and the loop finds no window and returns at once.
    void expectNoQuitQueuedAndTheLoopReturnsAtOnce() {
        MSG msg;
        EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
        const DWORD start = GetTickCount();
        const LoopOutcome outcome = runLoopWithin(host, main, 2000);
        EXPECT_TRUE(outcome.endedByItself);
        EXPECT_LT(GetTickCount() - start, 1000u);
    }

    EventLog log;
    WindowHost host{kWindowDescription, &recordMessageFilter};
    HWND main = nullptr;
    HWND label = nullptr;
};

TEST_F(HostTest, StartUpRunsReactionsInOrderWhileTheWindowIsStillHidden) {
    HWND probe = makeProbe();
    PostMessageA(probe, WM_APP + 7, 0, 0);
    probeMessages.clear();
    postedDuringCreation = 0;
    provokingMessagesFetched = 0;
    callHook = SetWindowsHookExA(WH_CALLWNDPROC, &provokeDuringCreation, nullptr, GetCurrentThreadId());
    log.onCreated = [](EventLog& l) {
        // The queue was drained before creation (the probe's message is in)
        // and again after it (what was posted during creation is handled).
        l.entries.push_back("probe " + std::to_string(probeMessages.size()));
        l.entries.push_back("drained " + std::to_string(provokingMessagesFetched));
    };

    host.startHost();
    EXPECT_EQ(log.owner, nullptr) << "startHost creates no window";
    EXPECT_THAT(log.entries, IsEmpty());
    host.loadMainWindow();
    UnhookWindowsHookEx(callHook);
    DestroyWindow(probe);

    main = log.owner;
    ASSERT_NE(main, nullptr);
    ASSERT_EQ(postedDuringCreation, 2) << "the hook saw both windows being created";
    ASSERT_GE(log.entries.size(), 6u);
    EXPECT_THAT(std::vector<std::string>(log.entries.begin(), log.entries.begin() + 6),
                ElementsAre("attach", "created hidden", "probe 1", "drained 2", "position 0 hidden",
                            "position 0 shown"))
        << "nothing sent or posted during creation reached a reaction";
    // An overlapped window created hidden gets its first WM_SIZE and WM_MOVE
    // from its first ShowWindow, so showing it reports its (normal) position
    // once more; nothing else may follow.
    for (size_t i = 6; i < log.entries.size(); ++i) EXPECT_EQ(log.entries[i], "position 0 shown");
    EXPECT_EQ(host.eventsSuspended(), 0);

    // Shown and activated at the end, with the label already visible inside.
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_EQ(GetActiveWindow(), main);
    HWND label = GetDlgItem(main, 100);
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(IsWindowVisible(label));
    EXPECT_EQ(host.mainWindowHandle(), main);
    EXPECT_EQ(host.hintLabelHandle(), label);
    EXPECT_FALSE(host.loopStarted());
}

TEST_F(HostTest, WindowsCarryTheirClassesStylesAndTexts) {
    load();
    ASSERT_NE(label, nullptr);
    HBRUSH nullBrush = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    for (HWND hwnd : {main, label}) {
        SCOPED_TRACE(hwnd == main ? "main window" : "hint label");
        EXPECT_EQ(GetClassLongPtrA(hwnd, GCL_STYLE), 0x000Bu);
        EXPECT_EQ(reinterpret_cast<HBRUSH>(GetClassLongPtrA(hwnd, GCLP_HBRBACKGROUND)), nullBrush);
        EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrA(hwnd, GCLP_HCURSOR)), arrow);
        EXPECT_EQ(GetClassLongPtrA(hwnd, GCLP_HICON), 0u);
        EXPECT_EQ(GetClassLongPtrA(hwnd, GCL_CBWNDEXTRA), 0u);
        EXPECT_EQ(GetClassLongPtrA(hwnd, GCL_CBCLSEXTRA), 0u);
        EXPECT_EQ(reinterpret_cast<HINSTANCE>(GetClassLongPtrA(hwnd, GCLP_HMODULE)), GetModuleHandleA(nullptr));
    }
    char mainClass[64], labelClass[64];
    GetClassNameA(main, mainClass, sizeof mainClass);
    GetClassNameA(label, labelClass, sizeof labelClass);
    EXPECT_STRNE(mainClass, labelClass) << "each window has a class of its own";

    // Windows adds WS_CLIPSIBLINGS to every top-level window and
    // WS_EX_WINDOWEDGE to one with a caption.
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(main, GWL_STYLE)), 0x02CE0000u | WS_CLIPSIBLINGS | WS_VISIBLE);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(main, GWL_EXSTYLE)), static_cast<DWORD>(WS_EX_WINDOWEDGE));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(label, GWL_STYLE)), 0x44000000u | WS_VISIBLE);
    EXPECT_EQ(GetWindowLongA(label, GWL_EXSTYLE), 0);
    EXPECT_EQ(GetWindowLongA(label, GWL_ID), 100);
    EXPECT_EQ(GetParent(main), nullptr);
    EXPECT_EQ(GetWindow(main, GW_OWNER), nullptr) << "no owner, so it has a taskbar button";
    EXPECT_EQ(GetParent(label), main);
    EXPECT_EQ(GetMenu(main), nullptr);

    char text[64] = {};
    EXPECT_EQ(GetWindowTextA(main, text, sizeof text), 18);
    EXPECT_EQ(std::string(text), "Morvaleth quendrix");
    EXPECT_EQ(GetWindowTextA(label, text, sizeof text), 12);
    EXPECT_EQ(std::string(text), "\xc8\xc8\xbc\xfc\xca\xc7\xa3\xba ~\xbc\xfc");

    // Outer size 284 by 50, centred on the whole primary screen as it is now.
    RECT rc;
    GetWindowRect(main, &rc);
    const int x = (GetSystemMetrics(SM_CXSCREEN) - 284) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - 50) / 2;
    EXPECT_EQ(rc.left, x);
    EXPECT_EQ(rc.top, y);
    EXPECT_EQ(rc.right - rc.left, 284);
    EXPECT_EQ(rc.bottom - rc.top, 50);

    RECT labelRect;
    GetWindowRect(label, &labelRect);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&labelRect), 2);
    EXPECT_EQ(labelRect.left, 14);
    EXPECT_EQ(labelRect.top, 5);
    EXPECT_EQ(labelRect.right, 184);
    EXPECT_EQ(labelRect.bottom, 21);
}

TEST_F(HostTest, WindowIconsAreTheSharedDefaultIconsAndOutliveTheWindow) {
    load();
    HICON big = reinterpret_cast<HICON>(SendMessageA(main, WM_GETICON, ICON_BIG, 0));
    HICON smallIcon = reinterpret_cast<HICON>(SendMessageA(main, WM_GETICON, ICON_SMALL, 0));
    ASSERT_NE(big, nullptr);
    ASSERT_NE(smallIcon, nullptr);
    EXPECT_NE(big, smallIcon);
    ASSERT_TRUE(e2e::isLiveIcon(big));
    EXPECT_EQ(e2e::iconSize(big).cx, 32);
    ASSERT_TRUE(e2e::isLiveIcon(smallIcon));
    EXPECT_EQ(e2e::iconSize(smallIcon).cx, 16);

    // A second window of the process gets the very same handles, and they
    // are still valid after the first window is gone.
    DestroyWindow(main);
    pumpMessages();
    ASSERT_TRUE(e2e::isLiveIcon(big));

    EventLog secondLog;
    WindowHost second;
    second.bind(&secondLog, &secondLog);
    second.startHost();
    second.loadMainWindow();
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(secondLog.owner, WM_GETICON, ICON_BIG, 0)), big);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(secondLog.owner, WM_GETICON, ICON_SMALL, 0)), smallIcon);
}

// Every pixel of the client area is the face colour except the red text of
// the label, which stays inside the label's rectangle.
struct PaintFindings {
    int redInsideLabel = 0;
    int redOutsideLabel = 0;
    int otherOutsideLabel = 0;  // neither face colour nor anything else allowed
    int minRedX = 1 << 30, maxRedX = -1;
    COLORREF firstOther = 0;
};

PaintFindings inspectClientArea(HWND main, HWND label, COLORREF face) {
    const RECT client = clientRectOnScreen(main);
    RECT labelRect;
    GetWindowRect(label, &labelRect);
    ScreenCapture shot(client);
    PaintFindings f;
    for (int y = client.top; y < client.bottom; ++y) {
        for (int x = client.left; x < client.right; ++x) {
            const COLORREF c = shot.at(x, y);
            POINT pt{x, y};
            const bool inLabel = PtInRect(&labelRect, pt) != FALSE;
            if (isReddish(c)) {
                if (inLabel) {
                    ++f.redInsideLabel;
                    if (x < f.minRedX) f.minRedX = x;
                    if (x > f.maxRedX) f.maxRedX = x;
                } else {
                    ++f.redOutsideLabel;
                }
            } else if (!inLabel && c != face) {
                if (f.otherOutsideLabel++ == 0) f.firstOther = c;
            }
        }
    }
    return f;
}

TEST_F(HostTest, PaintsFaceColourAndRedCentredTextAfterEachRepaint) {
    load();
    settle();
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    RECT labelRect;
    GetWindowRect(label, &labelRect);
    const int labelMid = (labelRect.left + labelRect.right) / 2;

    auto check = [&](const char* when, COLORREF expectedFace) {
        SCOPED_TRACE(when);
        PaintFindings f = inspectClientArea(main, label, expectedFace);
        EXPECT_GT(f.redInsideLabel, 20);
        EXPECT_EQ(f.redOutsideLabel, 0);
        EXPECT_EQ(f.otherOutsideLabel, 0) << "first stray colour 0x" << std::hex << f.firstOther;
        // Centred: the text's left and right margins differ by a pixel or two.
        EXPECT_NEAR((f.minRedX + f.maxRedX) / 2, labelMid, 3);
    };
    check("first paint", face);

    InvalidateRect(main, nullptr, TRUE);
    InvalidateRect(label, nullptr, TRUE);
    settle();
    check("after an invalidation", face);

    // The face colour is read at each paint, not kept from creation.
    const int element = COLOR_BTNFACE;
    const COLORREF changed = RGB(0, 128, 64);
    ASSERT_TRUE(SetSysColors(1, &element, &changed));
    InvalidateRect(main, nullptr, TRUE);
    InvalidateRect(label, nullptr, TRUE);
    settle();
    const COLORREF seen = GetSysColor(COLOR_BTNFACE);
    check("after changing the face colour", changed);
    SetSysColors(1, &element, &face);
    EXPECT_EQ(seen, changed);
}

// The hint label keeps its text as characters, not as bytes of one code page:
// read through the wide functions (as a screen reader reads it) it is the
// Chinese hint under every ANSI code page, and where that code page is 936
// its ANSI form is the same bytes as ever.
TEST_F(HostTest, HintLabelTextReadsAsTheChineseHintInAnyCodePage) {
    load();
    EXPECT_TRUE(IsWindowUnicode(label));
    EXPECT_FALSE(IsWindowUnicode(main)) << "the main window stays an ANSI window";
    wchar_t className[64] = {};
    GetClassNameW(label, className, 64);
    EXPECT_EQ(std::wstring(className), L"TolvaneHintLabel");

    wchar_t wide[32] = {};
    EXPECT_EQ(GetWindowTextW(label, wide, 32), 7);
    EXPECT_EQ(std::wstring(wide), kHintTextW);
    if (ansiCodePageIs936()) {
        char bytes[32] = {};
        EXPECT_EQ(SendMessageA(label, WM_GETTEXT, sizeof bytes, reinterpret_cast<LPARAM>(bytes)), 12);
        EXPECT_EQ(std::string(bytes), kHintText);
    }
}

// The oracle for the label's pixels is the system itself: the hint drawn the
// way the label must draw it, into memory. The label on the screen must show
// exactly that, under every ANSI code page.
TEST_F(HostTest, HintLabelShowsTheHintAsTheSystemDrawsIt) {
    load();
    settle();
    RECT size;
    GetClientRect(label, &size);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const Pixels shown = labelOnScreen(label);
    const Pixels expected = drawnAsTheLabelMust(kHintTextW, size.right, size.bottom).topLeft(shown.width, shown.height);
    EXPECT_GT(expected.notOfColour(face), 20) << "the oracle drew no text";
    EXPECT_EQ(shown.differencesFrom(expected), 0) << "pixels of the label that differ from the system's drawing";

    // The oracle tells the hint from its bytes misread in code page 1252,
    // which is what the label showed when it went through the ANSI forms ...
    const Pixels misread =
        drawnAsTheLabelMust(kHintTextMisreadIn1252, size.right, size.bottom).topLeft(shown.width, shown.height);
    EXPECT_GT(misread.differencesFrom(expected), 20);
    // ... and draws characters, not the one empty box of a missing glyph for
    // every character: the default GUI font reaches a Chinese font.
    EXPECT_GT(drawnAsTheLabelMust(L"\u70ed", 16, 16).differencesFrom(drawnAsTheLabelMust(L"\u952e", 16, 16)), 4)
        << "two Chinese characters look alike: no Chinese font is linked to the default GUI font";
}

const std::string kThreeHundredWsText(300, 'W');
const char* const kThreeHundredWs = kThreeHundredWsText.c_str();

// What the label shows for other texts: nothing but the face colour for an
// empty text, and a text far wider than the label cut at its edges.
struct LabelTextCase {
    const char* name;
    const char* text;
    bool expectRed;
    bool reachesBothEdges;
};

class LabelTextTest : public ::testing::TestWithParam<LabelTextCase> {};

TEST_P(LabelTextTest, PaintsInsideTheLabelOnly) {
    pumpMessages();
    WindowDescription description = kWindowDescription;
    description.hintLabel.text = GetParam().text;
    EventLog log;
    WindowHost host(description);
    host.bind(&log, &log);
    host.startHost();
    host.loadMainWindow();
    HWND main = log.owner;
    HWND label = GetDlgItem(main, 100);
    UpdateWindow(main);
    pumpMessages(300);

    PaintFindings f = inspectClientArea(main, label, GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(f.redOutsideLabel, 0);
    EXPECT_EQ(f.otherOutsideLabel, 0) << "first stray colour 0x" << std::hex << f.firstOther;
    if (GetParam().expectRed) {
        EXPECT_GT(f.redInsideLabel, 20);
    } else {
        EXPECT_EQ(f.redInsideLabel, 0);
    }
    if (GetParam().reachesBothEdges) {
        RECT labelRect;
        GetWindowRect(label, &labelRect);
        EXPECT_LE(f.minRedX, labelRect.left + 2);
        EXPECT_GE(f.maxRedX, labelRect.right - 3);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LabelTextTest,
    ::testing::Values(LabelTextCase{"Empty", "", false, false},
                      LabelTextCase{"WiderThanTheLabel",
                                    "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW",
                                    true, true},
                      LabelTextCase{"AmpersandsOnly", "&&&&&&&&&&&&", true, false},
                      // Longer than the label's painting keeps on its stack.
                      LabelTextCase{"LongerThanThePaintBuffer", kThreeHundredWs, true, true}),
    [](const ::testing::TestParamInfo<LabelTextCase>& info) { return std::string(info.param.name); });

TEST_F(HostTest, MovesRaisePositionChangedButShowingAndHidingDoNot) {
    load();
    log.entries.clear();

    ShowWindow(main, SW_MINIMIZE);
    pumpMessages(100);
    EXPECT_THAT(log.entries, ElementsAre("position 2 shown"));
    EXPECT_EQ(host.windowPosition(), WindowPosition::Minimized);

    log.entries.clear();
    ShowWindow(main, SW_RESTORE);
    pumpMessages(100);
    EXPECT_THAT(log.entries, ElementsAre("position 0 shown"));

    log.entries.clear();
    SetWindowPos(main, nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    pumpMessages(100);
    EXPECT_THAT(log.entries, ElementsAre("position 0 shown"));

    log.entries.clear();
    host.setWindowVisible(false);
    EXPECT_FALSE(IsWindowVisible(main));
    host.setWindowVisible(true);
    EXPECT_TRUE(IsWindowVisible(main));
    pumpMessages(100);
    EXPECT_THAT(log.entries, IsEmpty());
}

TEST_F(HostTest, WindowHiddenWhileMinimisedComesBackMinimised) {
    load();
    ShowWindow(main, SW_MINIMIZE);
    pumpMessages(100);
    log.entries.clear();

    host.setWindowVisible(false);
    EXPECT_FALSE(IsWindowVisible(main));
    EXPECT_TRUE(IsIconic(main)) << "hiding keeps the state";
    host.setWindowVisible(true);
    pumpMessages(100);
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_TRUE(IsIconic(main)) << "shown again as a taskbar button, not restored";
    EXPECT_EQ(host.windowPosition(), WindowPosition::Minimized);
    EXPECT_THAT(log.entries, IsEmpty());
}

TEST_F(HostTest, MaximisedWindowReportsMaximized) {
    load();
    log.entries.clear();
    ShowWindow(main, SW_MAXIMIZE);
    pumpMessages(100);
    EXPECT_EQ(host.windowPosition(), WindowPosition::Maximized);
    ASSERT_FALSE(log.entries.empty());
    EXPECT_EQ(log.entries.back(), "position 3 shown");
}

// The label turns the hot-key notification into handleHotKey, with both
// arguments as 32-bit integers, and answers 0.
struct HotKeyCase {
    WPARAM wParam;
    LPARAM lParam;
    const char* expected;
};

class HotKeyNotifyTest : public HostTest, public ::testing::WithParamInterface<HotKeyCase> {};

TEST_P(HotKeyNotifyTest, ReachesHandleHotKey) {
    load();
    log.entries.clear();
    EXPECT_EQ(SendMessageA(label, kHotKeyNotifyMessage, GetParam().wParam, GetParam().lParam), 0);
    EXPECT_THAT(log.entries, ElementsAre(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Arguments, HotKeyNotifyTest,
                         ::testing::Values(HotKeyCase{33001, 0, "hotKey 33001 0"},
                                           HotKeyCase{static_cast<WPARAM>(0x100000005ull), -1, "hotKey 5 -1"},
                                           HotKeyCase{0x80000000u, 0x7FFFFFFF, "hotKey -2147483648 2147483647"}));

TEST_F(HostTest, TrayCallbacksReachTheTrayEvenThroughASubclass) {
    load();
    subclassMainWindow(main);
    log.entries.clear();
    EXPECT_EQ(SendMessageA(main, kTrayCallbackMessage, 100, WM_LBUTTONDBLCLK), 0);
    EXPECT_EQ(SendMessageA(main, kTrayCallbackMessage, 100, WM_RBUTTONUP), 0);
    EXPECT_THAT(log.entries, ElementsAre("trayCallback 100 515", "trayCallback 100 517"));
}

// The broadcast of a restarted taskbar. It reaches every top-level window,
// hidden ones too.
UINT taskbarCreatedMessage() { return RegisterWindowMessageA("TaskbarCreated"); }

TEST_F(HostTest, TheTaskbarsReturnIsLetThroughPrivilegeIsolationToTheMainWindow) {
    load();
    ASSERT_EQ(messageFilterCalls.size(), 1u);
    EXPECT_EQ(messageFilterCalls[0].window, main);
    EXPECT_EQ(messageFilterCalls[0].message, taskbarCreatedMessage());
    EXPECT_EQ(messageFilterCalls[0].action, 1u) << "MSGFLT_ALLOW";
    EXPECT_EQ(messageFilterCalls[0].status, nullptr);
}

TEST(HostMessageFilter, TheProductUsesTheSystemsFunctionLookedUpAtRunTime) {
    // Windows 7 and later have it, and so does Wine. The executable does not
    // import it (the inspection of the executables checks that), so an older
    // system without it still starts the program.
    FARPROC expected = GetProcAddress(GetModuleHandleA("user32.dll"), "ChangeWindowMessageFilterEx");
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(WindowHost::systemMessageFilter()), reinterpret_cast<void*>(expected));
}

TEST(HostMessageFilter, ASystemWithoutTheFunctionStillLoadsAndHearsTheTaskbar) {
    EventLog log;
    WindowHost host(kWindowDescription, nullptr);
    host.bind(&log, &log);
    log.watch(&host);
    host.startHost();
    host.loadMainWindow();
    ShowWindow(log.owner, SW_MINIMIZE);
    host.setWindowVisible(false);
    pumpMessages(50);
    log.entries.clear();
    SendMessageA(log.owner, taskbarCreatedMessage(), 0, 0);
    EXPECT_THAT(log.entries, ElementsAre("addAgain hidden"));
}

// What the return of the taskbar does: the icon goes to the new shell only
// while the window is tucked away, and a window whose icon the new shell
// refuses comes back as a taskbar button.
struct TaskbarCase {
    const char* name;
    bool tuckedAway;      // minimised and hidden, as the controller leaves it
    bool shellTakesIcon;  // what addAgain gives
    std::vector<std::string> entries;
    bool visibleAfter;
};

void PrintTo(const TaskbarCase& c, std::ostream* os) { *os << c.name; }

class TaskbarCreatedTest : public HostTest, public ::testing::WithParamInterface<TaskbarCase> {};

TEST_P(TaskbarCreatedTest, HandsTheIconOverOnlyWhileTuckedAway) {
    const TaskbarCase& c = GetParam();
    load();
    // The hot key service sub-classes the window in the program; the
    // broadcast must get through that too.
    subclassMainWindow(main);
    if (c.tuckedAway) {
        ShowWindow(main, SW_MINIMIZE);
        host.setWindowVisible(false);
    }
    pumpMessages(50);
    log.entries.clear();
    log.addAgainAccepted = c.shellTakesIcon;

    PostMessageA(HWND_BROADCAST, taskbarCreatedMessage(), 0, 0);
    pumpMessages(200);
    EXPECT_EQ(log.entries, c.entries);
    EXPECT_EQ(IsWindowVisible(main) != FALSE, c.visibleAfter);
    EXPECT_EQ(IsIconic(main) != FALSE, c.tuckedAway) << "the window is shown in the state it was in";
}

// The window is hidden at creation too (a description that starts it
// invisible); a broadcast that arrives while the windows are being created
// reaches nothing, like every other message then: no icon exists yet, and
// the window is not pulled onto the screen mid-load.
HHOOK taskbarHook = nullptr;
LRESULT CALLBACK broadcastTaskbarAtLabelCreation(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* cwp = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && cwp->message == WM_CREATE && GetWindowLongA(cwp->hwnd, GWL_ID) == 100) {
        SendMessageA(GetParent(cwp->hwnd), RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    }
    return CallNextHookEx(taskbarHook, code, wParam, lParam);
}

TEST(HostTaskbarDuringLoad, ReachesNothingWhileTheWindowsAreCreated) {
    pumpMessages();
    WindowDescription description = kWindowDescription;
    description.mainWindow.visible = false;
    EventLog log;
    log.addAgainAccepted = false;
    WindowHost host(description, nullptr);
    host.bind(&log, &log);
    log.watch(&host);
    host.startHost();
    taskbarHook = SetWindowsHookExA(WH_CALLWNDPROC, &broadcastTaskbarAtLabelCreation, nullptr, GetCurrentThreadId());
    host.loadMainWindow();
    UnhookWindowsHookEx(taskbarHook);
    EXPECT_THAT(log.entries, ::testing::Not(::testing::Contains(::testing::StartsWith("addAgain"))));
    EXPECT_FALSE(IsWindowVisible(log.owner)) << "the broadcast pulled the hidden window onto the screen";
}

INSTANTIATE_TEST_SUITE_P(
    States, TaskbarCreatedTest,
    ::testing::Values(TaskbarCase{"WindowOnTheScreen", false, true, {}, true},
                      TaskbarCase{"TuckedAway", true, true, {"addAgain hidden"}, false},
                      TaskbarCase{"TuckedAwayAndRefused", true, false, {"addAgain hidden"}, true}),
    [](const ::testing::TestParamInfo<TaskbarCase>& info) { return std::string(info.param.name); });

// Esc closes the window only without Ctrl, Shift and Alt. The keys go
// through the system's input queue, so the modifier state is the one that
// belongs to each key message, which is what GetKeyState reads: a modifier
// already released by the time the loop runs still counts as held.
struct EscapeCase {
    const char* name;
    std::vector<WORD> keys;
    bool focusLabel;
    bool closes;
};

class EscapeTest : public HostTest, public ::testing::WithParamInterface<EscapeCase> {};

TEST_P(EscapeTest, ClosesOnlyWithoutModifiers) {
    load();
    subclassMainWindow(main);
    watchedKey = GetParam().keys.back();
    SetForegroundWindow(main);
    SetFocus(GetParam().focusLabel ? label : main);
    pumpMessages(100);
    ASSERT_EQ(GetForegroundWindow(), main);
    log.entries.clear();

    pressKeys(GetParam().keys);
    const LoopOutcome outcome = runLoopWithin(host, main, 1500);

    EXPECT_FALSE(IsWindow(main));
    if (GetParam().closes) {
        EXPECT_TRUE(outcome.endedByItself);
        EXPECT_EQ(watchedKeyDownsDispatched, 0) << "the Esc key message is dropped";
        EXPECT_EQ(quitsSeen, 1);
        EXPECT_EQ(lastQuitCode, 0u);
    } else {
        EXPECT_FALSE(outcome.endedByItself);
        EXPECT_TRUE(outcome.windowAliveAtTimeout);
        if (!GetParam().focusLabel) {
            EXPECT_EQ(watchedKeyDownsDispatched, 1) << "the key is dispatched like any other";
        }
    }
    EXPECT_THAT(log.entries, ElementsAre("removeTray hidden")) << "no reaction, and the tray goes last";
}

INSTANTIATE_TEST_SUITE_P(
    Keys, EscapeTest,
    ::testing::Values(EscapeCase{"Esc", {VK_ESCAPE}, false, true},
                      EscapeCase{"EscOnTheLabel", {VK_ESCAPE}, true, true},
                      EscapeCase{"ShiftEsc", {VK_SHIFT, VK_ESCAPE}, false, false},
                      EscapeCase{"CtrlEsc", {VK_CONTROL, VK_ESCAPE}, false, false},
                      EscapeCase{"AltEsc", {VK_MENU, VK_ESCAPE}, false, false},
                      EscapeCase{"OtherKey", {'A'}, false, false}),
    [](const ::testing::TestParamInfo<EscapeCase>& info) { return std::string(info.param.name); });

// Every way of closing goes through WM_CLOSE and ends the loop with quit
// code 0 once the loop runs.
enum class CloseBy { AltF4, SysCommand, PostedClose, DestroyWindowCall };

class CloseTest : public HostTest, public ::testing::WithParamInterface<CloseBy> {};

TEST_P(CloseTest, EndsTheLoopWithCodeZero) {
    load();
    SetForegroundWindow(main);
    pumpMessages(50);
    log.entries.clear();
    switch (GetParam()) {
    case CloseBy::AltF4:
        pressKeys({VK_MENU, VK_F4});
        break;
    case CloseBy::SysCommand:
        PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case CloseBy::PostedClose:
        PostMessageA(main, WM_CLOSE, 0, 0);
        break;
    case CloseBy::DestroyWindowCall:
        host.destroyWindow();
        // Returns before anything is torn down.
        EXPECT_TRUE(IsWindow(main));
        EXPECT_TRUE(host.destroyPending());
        EXPECT_THAT(log.entries, IsEmpty());
        break;
    }
    const LoopOutcome outcome = runLoopWithin(host, main, 3000);
    EXPECT_TRUE(outcome.endedByItself);
    EXPECT_FALSE(IsWindow(main));
    EXPECT_FALSE(host.destroyPending());
    EXPECT_EQ(quitsSeen, 1);
    EXPECT_EQ(lastQuitCode, 0u);
    EXPECT_TRUE(host.loopStarted());
    EXPECT_GT(host.eventsSuspended(), 0) << "nothing reacts during the shutdown";
    // The tray is removed while the window still exists, as the last step.
    EXPECT_THAT(log.entries, ElementsAre("removeTray hidden"));
}

INSTANTIATE_TEST_SUITE_P(Ways, CloseTest,
                         ::testing::Values(CloseBy::AltF4, CloseBy::SysCommand, CloseBy::PostedClose,
                                           CloseBy::DestroyWindowCall),
                         [](const ::testing::TestParamInfo<CloseBy>& info) {
                             switch (info.param) {
                             case CloseBy::AltF4: return std::string("AltF4");
                             case CloseBy::SysCommand: return std::string("SysCommand");
                             case CloseBy::PostedClose: return std::string("PostedClose");
                             case CloseBy::DestroyWindowCall: return std::string("DestroyWindowCall");
                             }
                             return std::string("unknown");
                         });

TEST_F(HostTest, DestroyRequestWithNothingPendingIsIgnored) {
    load();
    PostMessageA(main, kDestroyRequestMessage, 0, 0);
    const LoopOutcome outcome = runLoopWithin(host, main, 500);
    EXPECT_FALSE(outcome.endedByItself);
    EXPECT_TRUE(outcome.windowAliveAtTimeout);
}

TEST_F(HostTest, DestructionHandledBeforeTheLoopStartsPostsNoQuit) {
    load();
    host.destroyWindow();
    // Handled without the loop: the window goes, but no quit is due yet
    // because the loop has not started.
    pumpMessages(50);
    EXPECT_FALSE(IsWindow(main));
    EXPECT_FALSE(host.destroyPending());
    EXPECT_EQ(quitsSeen, 0);
    expectNoQuitQueuedAndTheLoopReturnsAtOnce();
}

TEST_F(HostTest, WindowDestroyedInsideLoadPostsNoQuitAndTheLoopReturnsAtOnce) {
    log.onCreated = [](EventLog& l) { DestroyWindow(l.owner); };
    load();
    // No handlePositionChanged and no showing for a window that is gone.
    EXPECT_THAT(log.entries, ElementsAre("attach", "created hidden", "removeTray hidden"));
    expectNoQuitQueuedAndTheLoopReturnsAtOnce();
    EXPECT_EQ(quitsSeen, 0);
}

}  // namespace
