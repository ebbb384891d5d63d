// The notification-area icon against the real user32 icon functions. The
// shell call goes through the constructor's seam into a recorder that keeps
// every record and, at the moment of the call, whether the icon handed over
// before is still alive; so the order "shell call, then DestroyIcon of the
// replaced handle" is observed, not assumed.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "IconChecks.h"
#include "app/AppIconImage.h"
#include "platform/AppMessages.h"
#include "platform/TrayIcon.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using e2e::iconSize;
using e2e::isLiveIcon;
using e2e::RecordingReactions;

using Tip = std::array<char, 64>;

struct ShellCall {
    DWORD message;
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    Tip szTip;
    bool newIconLive;       // hIcon was a usable icon when the shell got it
    SIZE newIconSize;
    HICON previous;         // the icon the last accepted add or modify handed over
    bool previousLive;      // ... still alive during this call
    BOOL answer;            // what the shell answered
};

// The shell as the tests see it. A plain function, because the seam is a
// Shell_NotifyIconA-shaped pointer. It answers from `answers`, one per call,
// and accepts everything once they run out.
struct ShellRecorder {
    std::vector<ShellCall> calls;
    std::vector<BOOL> answers;
    HICON handedOver = nullptr;

    static ShellRecorder& instance() {
        static ShellRecorder recorder;
        return recorder;
    }

    static BOOL WINAPI notify(DWORD message, PNOTIFYICONDATAA data) {
        ShellRecorder& r = instance();
        ShellCall call{};
        call.message = message;
        call.cbSize = data->cbSize;
        call.hWnd = data->hWnd;
        call.uID = data->uID;
        call.uFlags = data->uFlags;
        call.uCallbackMessage = data->uCallbackMessage;
        call.hIcon = data->hIcon;
        std::memcpy(call.szTip.data(), data->szTip, call.szTip.size());
        call.newIconLive = isLiveIcon(data->hIcon);
        call.newIconSize = iconSize(data->hIcon);
        call.previous = r.handedOver;
        call.previousLive = isLiveIcon(r.handedOver);
        call.answer = TRUE;
        if (!r.answers.empty()) {
            call.answer = r.answers.front();
            r.answers.erase(r.answers.begin());
        }
        r.calls.push_back(call);
        if (message == NIM_DELETE) r.handedOver = nullptr;
        else if (call.answer) r.handedOver = data->hIcon;
        return call.answer;
    }
};

Tip tipOf(const std::string& text) {
    Tip tip{};
    std::memcpy(tip.data(), text.data(), text.size() < tip.size() ? text.size() : tip.size());
    return tip;
}

// Little-endian writers for hand-made icon files.
void putU16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void putU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A 32-bit square icon image: bitmap header, colour pixels, AND mask.
std::vector<std::uint8_t> squareImage(int side) {
    const std::size_t maskRow = ((side + 31) / 32) * 4;
    std::vector<std::uint8_t> b(40 + side * side * 4 + maskRow * side, 0);
    putU32(b, 0, 40);
    putU32(b, 4, side);
    putU32(b, 8, 2 * side);
    putU16(b, 12, 1);
    putU16(b, 14, 32);
    for (int i = 0; i < side * side; ++i) putU32(b, 40 + 4 * i, 0xFF2040C0u);
    return b;
}

// An icon file of square 32-bit images, each with the given colour-count
// byte (the byte only steers the choice; the image is 32-bit regardless).
std::vector<std::uint8_t> iconFile(const std::vector<std::pair<int, int>>& sidesAndColours) {
    std::vector<std::uint8_t> file(6 + 16 * sidesAndColours.size(), 0);
    putU16(file, 2, 1);
    putU16(file, 4, static_cast<std::uint32_t>(sidesAndColours.size()));
    for (std::size_t i = 0; i < sidesAndColours.size(); ++i) {
        const std::vector<std::uint8_t> image = squareImage(sidesAndColours[i].first);
        const std::size_t e = 6 + 16 * i;
        file[e] = file[e + 1] = static_cast<std::uint8_t>(sidesAndColours[i].first);
        file[e + 2] = static_cast<std::uint8_t>(sidesAndColours[i].second);
        putU16(file, e + 4, 1);
        putU16(file, e + 6, 32);
        putU32(file, e + 8, static_cast<std::uint32_t>(image.size()));
        putU32(file, e + 12, static_cast<std::uint32_t>(file.size()));
        file.insert(file.end(), image.begin(), image.end());
    }
    return file;
}

class TrayIconTest : public ::testing::Test {
protected:
    void SetUp() override {
        ShellRecorder::instance() = ShellRecorder{};
        owner_ = CreateWindowExA(0, "STATIC", "tray owner", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(owner_, nullptr);
        tray_.bind(&reactions_);
        tray_.attachOwnerWindow(owner_);
    }
    void TearDown() override { DestroyWindow(owner_); }

    const std::vector<ShellCall>& calls() { return ShellRecorder::instance().calls; }
    std::vector<DWORD> messagesFrom(std::size_t first) {
        std::vector<DWORD> messages;
        for (std::size_t i = first; i < calls().size(); ++i) messages.push_back(calls()[i].message);
        return messages;
    }
    void answerNext(std::vector<BOOL> answers) { ShellRecorder::instance().answers = std::move(answers); }
    // Every call from `first` on handed over `icon`, alive, with the full
    // record of a shown icon and the tooltip "Pelvantra".
    void expectFullRecordsOf(HICON icon, std::size_t first) {
        for (std::size_t i = first; i < calls().size(); ++i) {
            SCOPED_TRACE("call " + std::to_string(i - first));
            const ShellCall& call = calls()[i];
            EXPECT_EQ(call.hIcon, icon);
            EXPECT_TRUE(call.newIconLive);
            EXPECT_EQ(call.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE));
            EXPECT_EQ(call.hWnd, owner_);
            EXPECT_EQ(call.uID, 100u);
            EXPECT_EQ(call.uFlags, 7u);
            EXPECT_EQ(call.uCallbackMessage, 32868u);
            EXPECT_EQ(call.szTip, tipOf("Pelvantra"));
        }
    }
    bool setAppIcon(const char* tip = "Pelvantra") {
        return tray_.setTrayIcon(AppIconImage.data(), AppIconImage.size(), tip);
    }

    HWND owner_ = nullptr;
    RecordingReactions reactions_;
    TrayIcon tray_{&ShellRecorder::notify};
};

TEST_F(TrayIconTest, AppIconIsMadeAtThirtyTwoByThirtyTwo) {
    for (int preferred : {16, 32}) {
        HICON icon = TrayIcon::createIconFromIcoBytes(AppIconImage.data(), AppIconImage.size(), preferred);
        ASSERT_TRUE(isLiveIcon(icon));
        const SIZE size = iconSize(icon);
        EXPECT_EQ(size.cx, 32);
        EXPECT_EQ(size.cy, 32);
        DestroyIcon(icon);
    }
}

TEST_F(TrayIconTest, FirstSetAddsWithTheFullRecordAndDestroysNothing) {
    EXPECT_TRUE(setAppIcon()) << "the shell took the icon";
    ASSERT_EQ(calls().size(), 1u);
    const ShellCall& add = calls()[0];
    EXPECT_EQ(add.message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(add.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE));
#ifndef _WIN64
    EXPECT_EQ(add.cbSize, 88u);
#endif
    EXPECT_EQ(add.hWnd, owner_);
    EXPECT_EQ(add.uID, 100u);
    EXPECT_EQ(add.uFlags, 7u);
    EXPECT_EQ(add.uCallbackMessage, 32868u);
    EXPECT_TRUE(add.newIconLive);
    EXPECT_EQ(add.newIconSize.cx, 32);
    EXPECT_EQ(add.newIconSize.cy, 32);
    EXPECT_EQ(add.szTip, tipOf("Pelvantra"));
    EXPECT_TRUE(isLiveIcon(add.hIcon)) << "the shown icon stays alive while it is shown";
}

TEST_F(TrayIconTest, SecondSetModifiesWithANewHandleThenDestroysTheFirst) {
    setAppIcon();
    setAppIcon("second");
    ASSERT_EQ(calls().size(), 2u);
    const ShellCall& modify = calls()[1];
    EXPECT_EQ(modify.message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(modify.uFlags, 7u);
    EXPECT_EQ(modify.uCallbackMessage, 32868u);
    EXPECT_EQ(modify.uID, 100u);
    EXPECT_EQ(modify.hWnd, owner_);
    EXPECT_EQ(modify.szTip, tipOf("second"));
    EXPECT_NE(modify.hIcon, calls()[0].hIcon);
    EXPECT_TRUE(modify.newIconLive);
    EXPECT_EQ(modify.previous, calls()[0].hIcon);
    EXPECT_TRUE(modify.previousLive) << "the replaced icon must outlive the shell call";
    EXPECT_FALSE(isLiveIcon(calls()[0].hIcon)) << "and be destroyed right after it";
    EXPECT_TRUE(isLiveIcon(modify.hIcon));
}

TEST_F(TrayIconTest, ModifyWithoutTooltipClearsIt) {
    setAppIcon();
    setAppIcon(nullptr);
    ASSERT_EQ(calls().size(), 2u);
    EXPECT_EQ(calls()[1].uFlags, 7u) << "NIF_TIP stays set so that the old tooltip goes";
    EXPECT_EQ(calls()[1].szTip, Tip{});
}

// Icon files that yield no icon while one is shown remove it; good bytes
// afterwards add it again.
struct UnusableBytesCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
};

void PrintTo(const UnusableBytesCase& c, std::ostream* os) { *os << c.name; }

class TrayIconUnusableBytes : public TrayIconTest, public ::testing::WithParamInterface<UnusableBytesCase> {};

TEST_P(TrayIconUnusableBytes, DeletesWhileShownThenGoodBytesAddAgain) {
    setAppIcon();
    const std::vector<std::uint8_t>& bytes = GetParam().bytes;
    tray_.setTrayIcon(bytes.empty() ? nullptr : bytes.data(), bytes.size(), "Pelvantra");
    ASSERT_EQ(calls().size(), 2u);
    const ShellCall& del = calls()[1];
    EXPECT_EQ(del.message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(del.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE));
    EXPECT_EQ(del.hWnd, owner_);
    EXPECT_EQ(del.uID, 100u);
    EXPECT_EQ(del.uFlags, 0u);
    EXPECT_EQ(del.uCallbackMessage, 0u);
    EXPECT_EQ(del.hIcon, nullptr);
    EXPECT_EQ(del.szTip, tipOf("Pelvantra")) << "a given tooltip is copied for the delete too";
    EXPECT_TRUE(del.previousLive);
    EXPECT_FALSE(isLiveIcon(calls()[0].hIcon));

    setAppIcon();
    ASSERT_EQ(calls().size(), 3u);
    EXPECT_EQ(calls()[2].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_TRUE(calls()[2].newIconLive);
}

TEST_P(TrayIconUnusableBytes, MakeNoCallWhileNothingIsShown) {
    const std::vector<std::uint8_t>& bytes = GetParam().bytes;
    tray_.setTrayIcon(bytes.empty() ? nullptr : bytes.data(), bytes.size(), "Pelvantra");
    EXPECT_THAT(calls(), IsEmpty());
}

std::vector<std::uint8_t> appIconWith(void (*spoil)(std::vector<std::uint8_t>&)) {
    std::vector<std::uint8_t> b(AppIconImage.begin(), AppIconImage.end());
    spoil(b);
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Files, TrayIconUnusableBytes,
    ::testing::Values(
        UnusableBytesCase{"Empty", {}},
        UnusableBytesCase{"ReservedNotZero", appIconWith([](std::vector<std::uint8_t>& b) { b[0] = 1; })},
        UnusableBytesCase{"CountZero", appIconWith([](std::vector<std::uint8_t>& b) { b[4] = 0; })},
        UnusableBytesCase{"CutShort", appIconWith([](std::vector<std::uint8_t>& b) { b.resize(2000); })},
        UnusableBytesCase{"WrappingOffset",
                          appIconWith([](std::vector<std::uint8_t>& b) { putU32(b, 18, 0xFFFFFFF0u); })},
        // Inside the file and long enough to read, but no picture: both
        // Windows calls refuse it.
        UnusableBytesCase{"GarbageImage",
                          appIconWith([](std::vector<std::uint8_t>& b) {
                              std::memset(b.data() + 22, 0x7F, b.size() - 22);
                          })}),
    [](const ::testing::TestParamInfo<UnusableBytesCase>& info) { return std::string(info.param.name); });

TEST_F(TrayIconTest, RemoveDeletesThenDestroysAndIsQuietWhenNothingShown) {
    tray_.removeTrayIcon();
    EXPECT_THAT(calls(), IsEmpty()) << "never minimised: no shell call";

    setAppIcon();
    tray_.removeTrayIcon();
    ASSERT_EQ(calls().size(), 2u);
    const ShellCall& del = calls()[1];
    EXPECT_EQ(del.message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(del.uID, 100u);
    EXPECT_EQ(del.uFlags, 0u);
    EXPECT_EQ(del.hIcon, nullptr);
    EXPECT_EQ(del.szTip, Tip{});
    EXPECT_TRUE(del.previousLive);
    EXPECT_FALSE(isLiveIcon(calls()[0].hIcon));

    tray_.removeTrayIcon();
    EXPECT_EQ(calls().size(), 2u) << "a second removal has nothing to remove";
}

struct TooltipCase {
    const char* name;
    std::string tooltip;
    std::string expected;  // the bytes before the zero fill
};

void PrintTo(const TooltipCase& c, std::ostream* os) { *os << c.name; }

class TrayIconTooltip : public TrayIconTest, public ::testing::WithParamInterface<TooltipCase> {};

TEST_P(TrayIconTooltip, IsCopiedByteForByteAndCutAtSixtyTwo) {
    setAppIcon(GetParam().tooltip.c_str());
    ASSERT_EQ(calls().size(), 1u);
    const Tip& tip = calls()[0].szTip;
    EXPECT_EQ(std::string(tip.data(), GetParam().expected.size()), GetParam().expected);
    for (std::size_t i = GetParam().expected.size(); i < tip.size(); ++i) {
        EXPECT_EQ(tip[i], '\0') << "byte " << i;
    }
}

const std::string kSeventyBytes = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!@#$%^&*";
// Code page 936 bytes, and one double-byte character that straddles the cut.
const std::string kGbkHint = "\xC8\xC8\xBC\xFC\xCA\xC7\xA3\xBA ~\xBC\xFC";
const std::string kGbkStraddling = std::string(61, 'x') + "\xBC\xFC";

INSTANTIATE_TEST_SUITE_P(
    Tooltips, TrayIconTooltip,
    ::testing::Values(TooltipCase{"Short", "Pelvantra", "Pelvantra"}, TooltipCase{"Empty", "", ""},
                      TooltipCase{"SeventyBytes", kSeventyBytes, kSeventyBytes.substr(0, 62)},
                      TooltipCase{"ExactlySixtyTwo", kSeventyBytes.substr(0, 62), kSeventyBytes.substr(0, 62)},
                      TooltipCase{"SixtyThree", kSeventyBytes.substr(0, 63), kSeventyBytes.substr(0, 62)},
                      TooltipCase{"CodePage936", kGbkHint, kGbkHint},
                      TooltipCase{"CutInsideADoubleByteCharacter", kGbkStraddling, kGbkStraddling.substr(0, 62)}),
    [](const ::testing::TestParamInfo<TooltipCase>& info) { return std::string(info.param.name); });

TEST_F(TrayIconTest, AbsentTooltipLeavesTheFieldZeroWithTipFlagSet) {
    setAppIcon(nullptr);
    ASSERT_EQ(calls().size(), 1u);
    EXPECT_EQ(calls()[0].szTip, Tip{});
    EXPECT_EQ(calls()[0].uFlags & NIF_TIP, static_cast<UINT>(NIF_TIP));
}

TEST_F(TrayIconTest, SixteenWideEntryIsPreferred) {
    const std::vector<std::uint8_t> file = iconFile({{32, 16}, {16, 16}});
    tray_.setTrayIcon(file.data(), file.size(), nullptr);
    ASSERT_EQ(calls().size(), 1u);
    EXPECT_EQ(calls()[0].newIconSize.cx, 16);
    EXPECT_EQ(calls()[0].newIconSize.cy, 16);
}

TEST_F(TrayIconTest, SecondPassPrefersThirtyTwoWhenTheSixteenWideImageIsBroken) {
    // The 16-wide entry is chosen first but its data lies outside the file;
    // the pass preferring 32 then finds the good 32-wide entry.
    std::vector<std::uint8_t> file = iconFile({{16, 16}, {48, 0}, {32, 16}});
    putU32(file, 6 + 12, static_cast<std::uint32_t>(file.size()));
    tray_.setTrayIcon(file.data(), file.size(), nullptr);
    ASSERT_EQ(calls().size(), 1u);
    EXPECT_TRUE(calls()[0].newIconLive);
    EXPECT_EQ(calls()[0].newIconSize.cx, 32);
}

TEST_F(TrayIconTest, AllEntriesWithoutPaletteGiveTheLastImage) {
    const std::vector<std::uint8_t> file = iconFile({{16, 0}, {32, 0}, {48, 0}});
    tray_.setTrayIcon(file.data(), file.size(), nullptr);
    ASSERT_EQ(calls().size(), 1u);
    EXPECT_EQ(calls()[0].newIconSize.cx, 48);
    EXPECT_EQ(calls()[0].newIconSize.cy, 48);
}

TEST_F(TrayIconTest, EveryIconMadeIsDestroyedExactlyOnce) {
    std::vector<HICON> handedOver;
    for (int i = 0; i < 200; ++i) {
        setAppIcon();
        handedOver.push_back(calls().back().hIcon);
        // Checked at once, before a later icon could reuse the handle value.
        if (i > 0) {
            ASSERT_FALSE(isLiveIcon(handedOver[i - 1])) << "cycle " << i;
            ASSERT_TRUE(calls().back().previousLive) << "cycle " << i;
        }
    }
    tray_.removeTrayIcon();
    ASSERT_EQ(calls().size(), 201u);
    EXPECT_FALSE(isLiveIcon(handedOver.back()));
    int live = 0;
    for (HICON icon : handedOver) live += isLiveIcon(icon) ? 1 : 0;
    EXPECT_EQ(live, 0);
    // A second destruction of any of them would now fail; none is left to
    // the destructor either.
    EXPECT_FALSE(DestroyIcon(handedOver.back()));
}

TEST(TrayIconLifetime, DestructorDestroysAnIconStillHeld) {
    ShellRecorder::instance() = ShellRecorder{};
    HICON held = nullptr;
    {
        TrayIcon tray(&ShellRecorder::notify);
        tray.setTrayIcon(AppIconImage.data(), AppIconImage.size(), "Pelvantra");
        ASSERT_EQ(ShellRecorder::instance().calls.size(), 1u);
        held = ShellRecorder::instance().calls[0].hIcon;
        ASSERT_TRUE(isLiveIcon(held));
    }
    EXPECT_FALSE(isLiveIcon(held));
    EXPECT_EQ(ShellRecorder::instance().calls.size(), 1u) << "the destructor leaves the shell alone";
}

// Mouse messages the shell reports, in the order a user makes them, and the
// codes the controller receives.
struct MouseCase {
    const char* name;
    std::vector<LPARAM> messages;
    std::vector<std::int32_t> actions;
};

void PrintTo(const MouseCase& c, std::ostream* os) { *os << c.name; }

class TrayIconMouse : public TrayIconTest, public ::testing::WithParamInterface<MouseCase> {};

TEST_P(TrayIconMouse, DeliversTheActionsInOrder) {
    setAppIcon();
    const std::size_t shellCalls = calls().size();
    for (LPARAM message : GetParam().messages) tray_.onTrayCallback(kTrayIconId, message);
    EXPECT_THAT(reactions_.trayActions, ElementsAreArray(GetParam().actions));
    EXPECT_EQ(calls().size(), shellCalls) << "mouse actions never reach the shell";
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, TrayIconMouse,
    ::testing::Values(
        MouseCase{"LeftDoubleClick",
                  {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP},
                  {1, 2, 1}},
        MouseCase{"RightClick", {WM_RBUTTONDOWN, WM_RBUTTONUP}, {3}},
        MouseCase{"ContextMenuAlone", {WM_CONTEXTMENU}, {3}},
        MouseCase{"LeftUpAlone", {WM_LBUTTONUP}, {1}},
        MouseCase{"MoveAndMiddleButton",
                  {WM_MOUSEMOVE, WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK},
                  {}},
        MouseCase{"RightDoubleClick", {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK, WM_RBUTTONUP}, {3, 3}},
        MouseCase{"RightDoubleClickAlone", {WM_RBUTTONDBLCLK}, {}},
        MouseCase{"OtherValues", {0, WM_LBUTTONDOWN, WM_RBUTTONDOWN, 0x0400, -1, 0x10205}, {}}),
    [](const ::testing::TestParamInfo<MouseCase>& info) { return std::string(info.param.name); });

// What the shell answers decides what is believed shown. A refused add gets
// one modify (the shell may have the icon although it said no), a refused
// modify one add (a restarted shell has forgotten it); beyond that nothing is
// retried, and a refused icon is destroyed after the calls, with no icon
// believed shown.
struct AnswerCase {
    const char* name;
    bool shownBefore;
    std::vector<BOOL> answers;
    std::vector<DWORD> messages;
    bool shownAfter;
};

void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

class TrayIconShellAnswers : public TrayIconTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(TrayIconShellAnswers, DecideWhatIsShownAndWhatTheNextCallIs) {
    const AnswerCase& c = GetParam();
    HICON before = nullptr;
    if (c.shownBefore) {
        ASSERT_TRUE(setAppIcon());
        before = calls().back().hIcon;
    }
    const std::size_t first = calls().size();
    answerNext(c.answers);
    EXPECT_EQ(setAppIcon(), c.shownAfter);
    ASSERT_EQ(messagesFrom(first), c.messages);

    // The same new icon in every call, and the replaced one alive in each.
    HICON offered = calls()[first].hIcon;
    expectFullRecordsOf(offered, first);
    for (std::size_t i = first; i < calls().size(); ++i) {
        EXPECT_EQ(calls()[i].previous, before);
        if (before != nullptr) EXPECT_TRUE(calls()[i].previousLive) << "the replaced icon outlives every call";
    }
    if (before != nullptr) EXPECT_FALSE(isLiveIcon(before)) << "the replaced icon is destroyed after the calls";
    EXPECT_EQ(isLiveIcon(offered), c.shownAfter) << "a refused icon is destroyed, a taken one kept";

    // The next call starts from what the shell said.
    const std::size_t next = calls().size();
    EXPECT_TRUE(setAppIcon());
    EXPECT_EQ(messagesFrom(next), std::vector<DWORD>{c.shownAfter ? static_cast<DWORD>(NIM_MODIFY)
                                                                  : static_cast<DWORD>(NIM_ADD)});
}

INSTANTIATE_TEST_SUITE_P(
    Answers, TrayIconShellAnswers,
    ::testing::Values(
        AnswerCase{"AddTaken", false, {TRUE}, {NIM_ADD}, true},
        AnswerCase{"AddRefusedTheShellHasItAlready", false, {FALSE, TRUE}, {NIM_ADD, NIM_MODIFY}, true},
        AnswerCase{"AddRefusedNoTaskbar", false, {FALSE, FALSE}, {NIM_ADD, NIM_MODIFY}, false},
        AnswerCase{"ModifyTaken", true, {TRUE}, {NIM_MODIFY}, true},
        AnswerCase{"ModifyRefusedTheShellForgotTheIcon", true, {FALSE, TRUE}, {NIM_MODIFY, NIM_ADD}, true},
        AnswerCase{"ModifyAndAddRefused", true, {FALSE, FALSE}, {NIM_MODIFY, NIM_ADD}, false}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

TEST_F(TrayIconTest, AddAgainWithNothingShownCallsNothing) {
    EXPECT_FALSE(tray_.addAgain());
    answerNext({FALSE, FALSE});
    EXPECT_FALSE(setAppIcon());
    const std::size_t refused = calls().size();
    EXPECT_FALSE(tray_.addAgain()) << "a refused icon is not shown, so there is nothing to add again";
    EXPECT_EQ(calls().size(), refused);
}

// A restarted taskbar is given the record it last took: the same icon handle
// and tooltip. A shell that refuses it leaves nothing shown.
struct AddAgainCase {
    const char* name;
    std::vector<BOOL> answers;
    std::vector<DWORD> messages;
    bool shownAfter;
};

void PrintTo(const AddAgainCase& c, std::ostream* os) { *os << c.name; }

class TrayIconAddAgain : public TrayIconTest, public ::testing::WithParamInterface<AddAgainCase> {};

TEST_P(TrayIconAddAgain, HandsTheShellTheSameRecord) {
    const AddAgainCase& c = GetParam();
    ASSERT_TRUE(setAppIcon("Pelvantra"));
    const ShellCall shown = calls().back();
    const std::size_t first = calls().size();
    answerNext(c.answers);
    EXPECT_EQ(tray_.addAgain(), c.shownAfter);
    ASSERT_EQ(messagesFrom(first), c.messages);
    expectFullRecordsOf(shown.hIcon, first);
    EXPECT_EQ(isLiveIcon(shown.hIcon), c.shownAfter);

    const std::size_t next = calls().size();
    EXPECT_TRUE(setAppIcon());
    EXPECT_EQ(messagesFrom(next), std::vector<DWORD>{c.shownAfter ? static_cast<DWORD>(NIM_MODIFY)
                                                                  : static_cast<DWORD>(NIM_ADD)});
    EXPECT_EQ(isLiveIcon(shown.hIcon), false) << "replaced or refused, the icon is gone now";
}

INSTANTIATE_TEST_SUITE_P(
    Answers, TrayIconAddAgain,
    ::testing::Values(AddAgainCase{"Taken", {TRUE}, {NIM_ADD}, true},
                      // Someone else broadcast the taskbar's return: the
                      // shell still has the icon and refuses a second one.
                      AddAgainCase{"TheShellStillHasIt", {FALSE, TRUE}, {NIM_ADD, NIM_MODIFY}, true},
                      AddAgainCase{"Refused", {FALSE, FALSE}, {NIM_ADD, NIM_MODIFY}, false}),
    [](const ::testing::TestParamInfo<AddAgainCase>& info) { return std::string(info.param.name); });

// The record a restarted shell gets is the last one the shell took: a later
// modify's tooltip (or its absence), not the first add's.
TEST_F(TrayIconTest, AddAgainCarriesTheTooltipOfTheLastRecordTaken) {
    ASSERT_TRUE(setAppIcon("Pelvantra"));
    ASSERT_TRUE(setAppIcon("second"));
    answerNext({FALSE});  // a later tooltip the shell refuses is not the one shown
    EXPECT_TRUE(setAppIcon("refused"));
    ASSERT_EQ(calls().back().message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(calls().back().szTip, tipOf("refused")) << "the modify was refused, the add that followed taken";

    ASSERT_TRUE(tray_.addAgain());
    EXPECT_EQ(calls().back().szTip, tipOf("refused"));
    ASSERT_TRUE(setAppIcon(nullptr));
    ASSERT_TRUE(tray_.addAgain());
    EXPECT_EQ(calls().back().szTip, Tip{}) << "no tooltip last time, none now";
}

TEST_F(TrayIconTest, IconIdentifierInWParamIsNotExamined) {
    tray_.onTrayCallback(0, WM_LBUTTONDBLCLK);
    tray_.onTrayCallback(12345, WM_RBUTTONUP);
    EXPECT_THAT(reactions_.trayActions, ElementsAre(2, 3));
}

}  // namespace
