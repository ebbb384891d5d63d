#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LowLevelKeyRecorder.h"
#include "platform/KeyChordInjector.h"

namespace {

struct KeyEvent {
    BYTE virtualKey;
    BYTE scanCode;
    DWORD flags;
    ULONG_PTR extraInfo;
    bool operator==(const KeyEvent& o) const {
        return virtualKey == o.virtualKey && scanCode == o.scanCode && flags == o.flags && extraInfo == o.extraInfo;
    }
};

void PrintTo(const KeyEvent& e, std::ostream* os) {
    *os << "{vk 0x" << std::hex << int(e.virtualKey) << ", scan " << int(e.scanCode) << ", flags " << e.flags
        << ", extra " << e.extraInfo << std::dec << "}";
}

std::vector<KeyEvent> g_events;

void WINAPI recordKeyEvent(BYTE virtualKey, BYTE scanCode, DWORD flags, ULONG_PTR extraInfo) {
    g_events.push_back({virtualKey, scanCode, flags, extraInfo});
}

KeyEvent down(BYTE vk) { return {vk, 0, 0, 0}; }
KeyEvent up(BYTE vk) { return {vk, 0, KEYEVENTF_KEYUP, 0}; }

// Chords of virtual-key codes through the recording seam.
struct CodeCase {
    const char* name;
    std::int32_t first, second, third;
    std::vector<KeyEvent> expected;
};

class KeyChordCodeTest : public ::testing::TestWithParam<CodeCase> {};

TEST_P(KeyChordCodeTest, SendsTheKeysDownAndUpInTheSameOrder) {
    g_events.clear();
    KeyChordInjector(&recordKeyEvent).sendKeyChord(GetParam().first, GetParam().second, GetParam().third);
    EXPECT_EQ(g_events, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, KeyChordCodeTest,
    ::testing::Values(
        CodeCase{"DesktopRight", 17, 91, 39,
                 {down(0x11), down(0x5B), down(0x27), up(0x11), up(0x5B), up(0x27)}},
        CodeCase{"DesktopLeft", 17, 91, 37,
                 {down(0x11), down(0x5B), down(0x25), up(0x11), up(0x5B), up(0x25)}},
        CodeCase{"OneKey", 0x41, 0, 0, {down(0x41), up(0x41)}},
        CodeCase{"GapInTheMiddle", 17, 0, 39, {down(0x11), down(0x27), up(0x11), up(0x27)}},
        CodeCase{"TwoKeys", 17, 91, 0, {down(0x11), down(0x5B), up(0x11), up(0x5B)}},
        CodeCase{"FirstKeyZeroIsStillSent", 0, 0, 0, {down(0), up(0)}},
        CodeCase{"FirstZeroWithOthers", 0, 91, 0, {down(0), down(0x5B), up(0), up(0x5B)}},
        CodeCase{"CodesCutToTheLowByte", 347, 0x111, 0x127,
                 {down(0x5B), down(0x11), down(0x27), up(0x5B), up(0x11), up(0x27)}},
        CodeCase{"LowByteZeroIsAbsent", 17, 256, 512, {down(0x11), up(0x11)}},
        CodeCase{"NegativeCodes", -1, -256, 39, {down(0xFF), down(0x27), up(0xFF), up(0x27)}}),
    [](const ::testing::TestParamInfo<CodeCase>& info) { return std::string(info.param.name); });

// Texts are looked up on the thread's keyboard layout, which the test makes
// US English so that the letters are where the cases expect them.
class KeyChordTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        us = LoadKeyboardLayoutA("00000409", KLF_ACTIVATE);
        ASSERT_NE(us, nullptr);
        previous = ActivateKeyboardLayout(us, 0);
        g_events.clear();
    }
    void TearDown() override {
        if (previous != nullptr) ActivateKeyboardLayout(previous, 0);
    }
    static BYTE scanLowByte(unsigned char c) {
        return static_cast<BYTE>(VkKeyScanExA(static_cast<CHAR>(c), GetKeyboardLayout(0)) & 0xFF);
    }

    HKL us = nullptr;
    HKL previous = nullptr;
};

TEST_F(KeyChordTextTest, ACapitalLetterIsItsKeyWithoutShift) {
    // The layout says 'A' needs Shift; that part of the answer is dropped.
    ASSERT_EQ(VkKeyScanExA('A', GetKeyboardLayout(0)), 0x141);
    KeyChordInjector(&recordKeyEvent).sendKeyChord(ChordKey::text("A"), 0, 0);
    EXPECT_EQ(g_events, (std::vector<KeyEvent>{down(0x41), up(0x41)}));
}

TEST_F(KeyChordTextTest, TextsAndCodesMixAndOnlyTheFirstByteCounts) {
    // '~' is Shift plus VK_OEM_3 on a US layout; "wz" is looked up by 'w'.
    KeyChordInjector(&recordKeyEvent).sendKeyChord(17, ChordKey::text("~"), ChordKey::text("wz"));
    EXPECT_EQ(g_events, (std::vector<KeyEvent>{down(0x11), down(VK_OEM_3), down(0x57), up(0x11), up(VK_OEM_3),
                                               up(0x57)}));
}

TEST_F(KeyChordTextTest, AnEmptyTextIsLookedUpByItsTerminator) {
    const BYTE nul = scanLowByte(0);
    KeyChordInjector(&recordKeyEvent).sendKeyChord(ChordKey::text(""), 0, 0);
    EXPECT_EQ(g_events, (std::vector<KeyEvent>{down(nul), up(nul)}));
}

// A text that begins with a two-byte character of code page 936 is looked up
// by its lead byte alone. The trail bytes chosen here are letters or digits of
// their own, so reading the wrong byte, or the whole character, shows.
struct DoubleByteCase {
    const char* name;
    const char* text;
};

class KeyChordDoubleByteTest : public KeyChordTextTest, public ::testing::WithParamInterface<DoubleByteCase> {};

TEST_P(KeyChordDoubleByteTest, OnlyTheLeadByteIsLookedUp) {
    ASSERT_EQ(GetACP(), 936u) << "the tests run with code page 936";
    const auto lead = static_cast<unsigned char>(GetParam().text[0]);
    const auto trail = static_cast<unsigned char>(GetParam().text[1]);
    ASSERT_TRUE(IsDBCSLeadByte(lead));
    const BYTE expected = scanLowByte(lead);
    ASSERT_NE(expected, scanLowByte(trail)) << "the case could not tell lead and trail apart";

    KeyChordInjector(&recordKeyEvent).sendKeyChord(ChordKey::text(GetParam().text), 0, 0);
    EXPECT_EQ(g_events, (std::vector<KeyEvent>{down(expected), up(expected)}));
}

INSTANTIATE_TEST_SUITE_P(Texts, KeyChordDoubleByteTest,
                         ::testing::Values(DoubleByteCase{"TrailIsCapitalA", "\x81\x41"},
                                           DoubleByteCase{"TrailIsDigit", "\x81\x32"}),
                         [](const ::testing::TestParamInfo<DoubleByteCase>& info) {
                             return std::string(info.param.name);
                         });

// The product's path: the real keybd_event, watched by a low-level hook.
class KeyChordInjectionTest : public ::testing::Test {
protected:
    void TearDown() override {
        releaseHeldKeys({VK_CONTROL, VK_LCONTROL, VK_LWIN, VK_RIGHT, VK_LEFT});
    }
};

TEST_F(KeyChordInjectionTest, TheSystemSeesTheSixInjectedEventsInOrder) {
    LowLevelKeyRecorder recorder;
    ASSERT_TRUE(recorder.installed());

    for (BYTE arrow : {BYTE{VK_RIGHT}, BYTE{VK_LEFT}}) {
        SCOPED_TRACE(arrow == VK_RIGHT ? "Right" : "Left");
        recorder.clear();
        KeyChordInjector().sendKeyChord(VK_CONTROL, VK_LWIN, arrow);
        ASSERT_TRUE(recorder.waitFor([](const auto& e) { return e.size() >= 6; }, 3000))
            << "saw " << recorder.events().size() << " events";
        Sleep(50);
        const auto events = recorder.events();
        ASSERT_EQ(events.size(), 6u);
        const DWORD keys[6] = {VK_CONTROL, VK_LWIN, arrow, VK_CONTROL, VK_LWIN, arrow};
        for (int i = 0; i < 6; ++i) {
            SCOPED_TRACE(i);
            // The hook reports the generic Ctrl key as the left one.
            if (keys[i] == VK_CONTROL) {
                EXPECT_TRUE(events[i].virtualKey == VK_CONTROL || events[i].virtualKey == VK_LCONTROL)
                    << events[i].virtualKey;
            } else {
                EXPECT_EQ(events[i].virtualKey, keys[i]);
            }
            EXPECT_TRUE(events[i].flags & LLKHF_INJECTED);
            // Sent without KEYEVENTF_EXTENDEDKEY, arrows and Win included.
            EXPECT_FALSE(events[i].flags & LLKHF_EXTENDED);
            EXPECT_EQ((events[i].flags & LLKHF_UP) != 0, i >= 3);
            EXPECT_EQ(events[i].extraInfo, 0u);
        }
        for (BYTE vk : {BYTE{VK_CONTROL}, BYTE{VK_LWIN}, arrow}) {
            EXPECT_FALSE(GetAsyncKeyState(vk) & 0x8000) << "key left down: " << int(vk);
        }
    }
}

}  // namespace
