#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/AppMessages.h"
#include "platform/HotKeyService.h"

namespace {

// What the test windows saw, in one sequence across all of them, so that the
// order of notification and pass-on can be checked.
struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> g_seen;

constexpr UINT kProbeMessage = WM_USER + 5;
constexpr LRESULT kProbeAnswer = 0x1234;

bool worthRecording(UINT message) {
    return message == WM_HOTKEY || message == kHotKeyNotifyMessage || (message >= WM_USER && message < 0xC000);
}

LRESULT CALLBACK recordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (worthRecording(message)) g_seen.push_back({hwnd, message, wParam, lParam});
    if (message == kProbeMessage) return kProbeAnswer;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

const char* recordingClass() {
    static ATOM atom = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = &recordingProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TolvaneKeysTestWindow";
        return RegisterClassA(&wc);
    }();
    return atom != 0 ? "TolvaneKeysTestWindow" : nullptr;
}

// Hidden windows: a hot key reaches a hidden window like any other, and no
// window of the test takes the keyboard focus, so the keys pressed here type
// nothing and Alt opens no menu.
HWND makeWindow() {
    return CreateWindowExA(0, recordingClass(), "keys test", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

void pumpFor(DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (GetTickCount64() < end);
}

// Pumps until a WM_HOTKEY has been handled or the time is up.
bool pumpUntilHotKey(DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            const bool hotKey = msg.message == WM_HOTKEY;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (hotKey) return true;
        }
        if (GetTickCount64() >= end) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

void sendKey(WORD vk, DWORD flags) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = flags;
    SendInput(1, &in, sizeof in);
}

// Presses `key` with the modifier keys held, releases everything and waits
// for the hot key: gives whether a WM_HOTKEY came. Negative answers wait the
// full time, so it is kept short.
bool pressFires(WORD key, std::vector<WORD> modifiers, DWORD waitMs = 400) {
    for (WORD m : modifiers) sendKey(m, 0);
    sendKey(key, 0);
    sendKey(key, KEYEVENTF_KEYUP);
    for (WORD m : modifiers) sendKey(m, KEYEVENTF_KEYUP);
    return pumpUntilHotKey(waitMs);
}

std::vector<Seen> seenOf(UINT message) {
    std::vector<Seen> out;
    for (const Seen& s : g_seen)
        if (s.message == message) out.push_back(s);
    return out;
}

WNDPROC procOf(HWND hwnd) { return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd, GWLP_WNDPROC)); }

// Two owners, two targets and a fresh service per test. Destroying the
// windows ends their registrations, so every test starts with the keys free.
class HotKeyServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_seen.clear();
        owner = makeWindow();
        otherOwner = makeWindow();
        target = makeWindow();
        otherTarget = makeWindow();
        ASSERT_TRUE(owner && otherOwner && target && otherTarget);
        pumpFor(20);
        g_seen.clear();
    }
    void TearDown() override {
        for (HWND w : {owner, otherOwner, target, otherTarget}) DestroyWindow(w);
        for (WORD vk : {VK_CONTROL, VK_SHIFT, VK_MENU, VK_LWIN}) {
            if (GetAsyncKeyState(vk) & 0x8000) sendKey(vk, KEYEVENTF_KEYUP);
        }
        pumpFor(20);
    }

    HotKeyService service;
    HWND owner = nullptr, otherOwner = nullptr, target = nullptr, otherTarget = nullptr;
};

TEST_F(HotKeyServiceTest, IdsCountUpAndAreNotReusedAfterARefusal) {
    EXPECT_EQ(service.registerHotKey(owner, target, 0, VK_F7), 33001);
    // The same combination again, from the same window: refused, id used up.
    EXPECT_EQ(service.registerHotKey(owner, target, 0, VK_F7), 0);
    // A combination another window holds: refused as well.
    ASSERT_TRUE(RegisterHotKey(otherOwner, 1, MOD_CONTROL, VK_F9));
    EXPECT_EQ(service.registerHotKey(owner, target, Modifier::Ctrl, VK_F9), 0);
    EXPECT_EQ(service.registerHotKey(owner, target, 0, VK_F8), 33004);

    // The refused ids are in the notified range all the same.
    SendMessageA(owner, WM_HOTKEY, 33003, 0);
    const auto notes = seenOf(kHotKeyNotifyMessage);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].wParam, 33003u);
}

TEST_F(HotKeyServiceTest, UnregisterReleasesTheKeyAndGivesBackTheOwnersProcedureAfterTheLast) {
    const WNDPROC original = procOf(owner);
    const std::int32_t first = service.registerHotKey(owner, target, 0, VK_F7);
    const std::int32_t second = service.registerHotKey(otherOwner, target, 0, VK_F8);
    ASSERT_EQ(first, 33001);
    ASSERT_EQ(second, 33002);
    EXPECT_NE(procOf(owner), original);

    EXPECT_TRUE(service.unregisterHotKey(owner, first));
    EXPECT_NE(procOf(owner), original) << "still sub-classed while a registration is left";
    // The last removal names the other owner: the procedure still goes back
    // to the window it was taken from, and the other window keeps its own.
    const WNDPROC otherOriginal = procOf(otherOwner);
    EXPECT_TRUE(service.unregisterHotKey(otherOwner, second));
    EXPECT_EQ(procOf(owner), original);
    EXPECT_EQ(procOf(otherOwner), otherOriginal);
    // Released for real: another window can take the combination now.
    EXPECT_TRUE(RegisterHotKey(otherTarget, 7, 0, VK_F7));
    EXPECT_TRUE(RegisterHotKey(otherTarget, 8, 0, VK_F8));
    // Ids go on counting after everything was removed.
    EXPECT_EQ(service.registerHotKey(owner, target, 0, VK_F6), 33003);
}

TEST_F(HotKeyServiceTest, UnregisteringAnIdNeverRegisteredIsReportedAsFailure) {
    ASSERT_EQ(service.registerHotKey(owner, target, 0, VK_F7), 33001);
    // Brings the count to zero, so the owner's procedure goes back; the key
    // itself was never released and that is what the caller hears.
    EXPECT_FALSE(service.unregisterHotKey(owner, 4711));
    EXPECT_EQ(procOf(owner), &recordingProc);
}

TEST_F(HotKeyServiceTest, OnlyTheFirstOwnerIsSubclassed) {
    const WNDPROC otherOriginal = procOf(otherOwner);
    ASSERT_EQ(service.registerHotKey(owner, target, 0, VK_F7), 33001);
    EXPECT_EQ(procOf(owner), &HotKeyService::hotKeyWindowProc);
    ASSERT_EQ(service.registerHotKey(otherOwner, target, 0, VK_F8), 33002);
    EXPECT_EQ(procOf(otherOwner), otherOriginal);

    // The second owner's key fires to that window's own procedure only.
    ASSERT_TRUE(pressFires(VK_F8, {}, 2000));
    const auto hotKeys = seenOf(WM_HOTKEY);
    ASSERT_EQ(hotKeys.size(), 1u);
    EXPECT_EQ(hotKeys[0].hwnd, otherOwner);
    EXPECT_EQ(hotKeys[0].wParam, 33002u);
    EXPECT_TRUE(seenOf(kHotKeyNotifyMessage).empty());
}

TEST_F(HotKeyServiceTest, AFailedSubclassingIsTriedAgainByTheNextRegistration) {
    // No window: the procedure cannot be replaced, yet the key is registered
    // (for the thread) and its id is used up.
    EXPECT_EQ(service.registerHotKey(nullptr, target, 0, VK_F7), 33001);
    EXPECT_EQ(service.registerHotKey(owner, target, 0, VK_F8), 33002);
    EXPECT_EQ(procOf(owner), &HotKeyService::hotKeyWindowProc);
    UnregisterHotKey(nullptr, 33001);
}

TEST_F(HotKeyServiceTest, APressNotifiesTheNewestTargetWithThePressedKeysId) {
    ASSERT_EQ(service.registerHotKey(owner, target, 0, VK_F7), 33001);
    ASSERT_EQ(service.registerHotKey(owner, otherTarget, 0, VK_F8), 33002);

    ASSERT_TRUE(pressFires(VK_F7, {}, 2000));
    ASSERT_TRUE(pressFires(VK_F8, {}, 2000));
    const auto notes = seenOf(kHotKeyNotifyMessage);
    ASSERT_EQ(notes.size(), 2u);
    for (const Seen& n : notes) {
        EXPECT_EQ(n.hwnd, otherTarget);
        EXPECT_EQ(n.lParam, 0);
    }
    EXPECT_EQ(notes[0].wParam, 33001u);
    EXPECT_EQ(notes[1].wParam, 33002u);
}

TEST_F(HotKeyServiceTest, EveryAutoRepeatOfAHeldKeyNotifiesAgain) {
    ASSERT_EQ(service.registerHotKey(owner, target, 0, VK_F7), 33001);
    // A held key repeats as further key-downs without a key-up between them;
    // the key is registered without MOD_NOREPEAT.
    for (int i = 0; i < 3; ++i) sendKey(VK_F7, 0);
    sendKey(VK_F7, KEYEVENTF_KEYUP);
    pumpFor(300);
    EXPECT_EQ(seenOf(kHotKeyNotifyMessage).size(), 3u);
    EXPECT_EQ(seenOf(WM_HOTKEY).size(), 3u);
}

TEST_F(HotKeyServiceTest, EveryMessageReachesTheOwnersProcedureOnceAndAfterTheNotification) {
    ASSERT_EQ(service.registerHotKey(owner, target, 0, VK_F7), 33001);
    g_seen.clear();

    // A real press, a sent and a posted message of the window's own, and the
    // notification number itself, which means nothing to the owner.
    ASSERT_TRUE(pressFires(VK_F7, {}, 2000));
    EXPECT_EQ(SendMessageA(owner, kProbeMessage, 11, 12), kProbeAnswer);
    PostMessageA(owner, kProbeMessage, 13, 14);
    pumpFor(50);
    SendMessageA(owner, kHotKeyNotifyMessage, 15, 16);

    ASSERT_EQ(g_seen.size(), 5u);
    EXPECT_EQ(g_seen[0].hwnd, target);
    EXPECT_EQ(g_seen[0].message, kHotKeyNotifyMessage);
    EXPECT_EQ(g_seen[0].wParam, 33001u);
    EXPECT_EQ(g_seen[1].hwnd, owner);
    EXPECT_EQ(g_seen[1].message, static_cast<UINT>(WM_HOTKEY));
    EXPECT_EQ(g_seen[1].wParam, 33001u);
    EXPECT_EQ(LOWORD(g_seen[1].lParam), 0) << "no modifier";
    EXPECT_EQ(HIWORD(g_seen[1].lParam), VK_F7);
    EXPECT_EQ(g_seen[2].message, kProbeMessage);
    EXPECT_EQ(g_seen[2].wParam, 11u);
    EXPECT_EQ(g_seen[3].message, kProbeMessage);
    EXPECT_EQ(g_seen[3].wParam, 13u);
    EXPECT_EQ(g_seen[4].hwnd, owner);
    EXPECT_EQ(g_seen[4].message, kHotKeyNotifyMessage);
    EXPECT_EQ(g_seen[4].wParam, 15u);
}

// A service that goes before its owner window gives the window its own
// procedure back instead of leaving it to call into a service that is gone.
TEST(HotKeyServiceLifetimeTest, AnOwnerThatOutlivesTheServiceGetsItsProcedureBack) {
    HWND owner = makeWindow();
    HWND target = makeWindow();
    ASSERT_TRUE(owner && target);
    {
        HotKeyService service;
        ASSERT_EQ(service.registerHotKey(owner, target, 0, VK_F7), 33001);
        ASSERT_EQ(procOf(owner), &HotKeyService::hotKeyWindowProc);
    }
    EXPECT_EQ(procOf(owner), &recordingProc);
    g_seen.clear();
    EXPECT_EQ(SendMessageA(owner, kProbeMessage, 1, 2), kProbeAnswer);
    SendMessageA(owner, WM_HOTKEY, 33001, 0);
    EXPECT_TRUE(seenOf(kHotKeyNotifyMessage).empty());
    EXPECT_EQ(seenOf(WM_HOTKEY).size(), 1u);
    DestroyWindow(owner);
    DestroyWindow(target);
}

// The target's reaction runs inside the owner's WM_HOTKEY: when the target is
// notified, the owner's own procedure has not yet seen the message, and when
// SendMessage of WM_HOTKEY returns, the reaction is complete.
LRESULT CALLBACK checkingTargetProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kHotKeyNotifyMessage) {
        EXPECT_FALSE(InSendMessage()) << "same thread: called directly, not through the queue";
        EXPECT_TRUE(seenOf(WM_HOTKEY).empty()) << "the owner saw WM_HOTKEY before the target was notified";
    }
    return recordingProc(hwnd, message, wParam, lParam);
}

TEST_F(HotKeyServiceTest, TheNotificationIsSynchronous) {
    SetWindowLongPtrA(target, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&checkingTargetProc));
    ASSERT_EQ(service.registerHotKey(owner, target, 0, VK_F7), 33001);
    SendMessageA(owner, WM_HOTKEY, 33001, 0);
    ASSERT_EQ(seenOf(kHotKeyNotifyMessage).size(), 1u);
    ASSERT_EQ(seenOf(WM_HOTKEY).size(), 1u);
    // Nothing was left waiting in the queue for later.
    pumpFor(30);
    EXPECT_EQ(seenOf(kHotKeyNotifyMessage).size(), 1u);
}

// WM_HOTKEY ids: only those from the first id to the last one issued are
// notified; everything is passed on.
struct IdCase {
    const char* name;
    WPARAM wParam;
    bool notified;
};

class HotKeyIdRangeTest : public HotKeyServiceTest, public ::testing::WithParamInterface<IdCase> {};

TEST_P(HotKeyIdRangeTest, OnlyIssuedIdsAreNotifiedAndAllArePassedOn) {
    ASSERT_EQ(service.registerHotKey(owner, target, 0, VK_F7), 33001);
    ASSERT_EQ(service.registerHotKey(owner, target, 0, VK_F7), 0);  // 33002, refused
    g_seen.clear();

    SendMessageA(owner, WM_HOTKEY, GetParam().wParam, 0);

    const auto notes = seenOf(kHotKeyNotifyMessage);
    const auto passed = seenOf(WM_HOTKEY);
    ASSERT_EQ(passed.size(), 1u);
    EXPECT_EQ(passed[0].wParam, GetParam().wParam);
    if (GetParam().notified) {
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_EQ(notes[0].wParam, GetParam().wParam);
        EXPECT_EQ(notes[0].lParam, 0);
    } else {
        EXPECT_TRUE(notes.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ids, HotKeyIdRangeTest,
    ::testing::Values(IdCase{"First", 33001, true}, IdCase{"LastRefused", 33002, true},
                      IdCase{"BelowFirst", 33000, false}, IdCase{"AboveLast", 33003, false},
                      IdCase{"Zero", 0, false},
                      // The system's own hot keys (IDHOT_SNAPDESKTOP, IDHOT_SNAPWINDOW).
                      IdCase{"MinusOne", static_cast<WPARAM>(-1), false},
                      IdCase{"MinusTwo", static_cast<WPARAM>(-2), false},
                      IdCase{"TopBitOf32", 0x80000000u + 33001u, false}),
    [](const ::testing::TestParamInfo<IdCase>& info) { return std::string(info.param.name); });

// Modifier codes, checked by what the system registered: the combination
// fires with exactly its modifiers held and not with another set, and a
// second window cannot take the same combination but can take a neighbour.
struct ModifierCase {
    const char* name;
    ModifierCode code;
    UINT fsModifiers;
    std::vector<WORD> firesWith;
    std::vector<WORD> silentWith;
};

class HotKeyModifierTest : public HotKeyServiceTest, public ::testing::WithParamInterface<ModifierCase> {};

TEST_P(HotKeyModifierTest, RegistersExactlyTheTranslatedModifiers) {
    const ModifierCase& c = GetParam();
    EXPECT_EQ(HotKeyService::toHotKeyModifiers(c.code), c.fsModifiers);
    ASSERT_EQ(service.registerHotKey(owner, target, c.code, VK_F7), 33001);

    EXPECT_FALSE(RegisterHotKey(otherOwner, 1, c.fsModifiers, VK_F7)) << "the same combination is taken";
    // Each neighbouring set of modifiers is still free.
    for (UINT flip : {MOD_ALT, MOD_CONTROL, MOD_SHIFT, MOD_WIN}) {
        EXPECT_TRUE(RegisterHotKey(otherOwner, 2, c.fsModifiers ^ flip, VK_F7)) << "flags " << (c.fsModifiers ^ flip);
        UnregisterHotKey(otherOwner, 2);
    }

    EXPECT_FALSE(pressFires(VK_F7, c.silentWith)) << "fired with another set of modifiers";
    EXPECT_TRUE(pressFires(VK_F7, c.firesWith, 2000)) << "did not fire with its own modifiers";
    const auto notes = seenOf(kHotKeyNotifyMessage);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].wParam, 33001u);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, HotKeyModifierTest,
    ::testing::Values(
        ModifierCase{"None", 0, 0, {}, {VK_SHIFT}},
        ModifierCase{"NoneNotWithCtrl", 0, 0, {}, {VK_CONTROL}},
        ModifierCase{"Ctrl", 1, MOD_CONTROL, {VK_CONTROL}, {}},
        ModifierCase{"Shift", 2, MOD_SHIFT, {VK_SHIFT}, {VK_CONTROL}},
        ModifierCase{"CtrlShift", 3, MOD_CONTROL | MOD_SHIFT, {VK_CONTROL, VK_SHIFT}, {VK_CONTROL}},
        ModifierCase{"Alt", 4, MOD_ALT, {VK_MENU}, {VK_CONTROL}},
        ModifierCase{"CtrlAlt", 5, MOD_CONTROL | MOD_ALT, {VK_CONTROL, VK_MENU}, {VK_CONTROL, VK_SHIFT}},
        ModifierCase{"ShiftAlt", 6, MOD_SHIFT | MOD_ALT, {VK_SHIFT, VK_MENU}, {VK_CONTROL, VK_MENU}},
        ModifierCase{"All", 7, MOD_ALT | MOD_CONTROL | MOD_SHIFT, {VK_CONTROL, VK_SHIFT, VK_MENU},
                     {VK_CONTROL, VK_SHIFT}},
        ModifierCase{"Win", 8, MOD_WIN, {VK_LWIN}, {}},
        ModifierCase{"WinAlt", 9, MOD_WIN | MOD_ALT, {VK_LWIN, VK_MENU}, {VK_LWIN, VK_CONTROL}}),
    [](const ::testing::TestParamInfo<ModifierCase>& info) { return std::string(info.param.name); });

}  // namespace
