// Starts the built program under Wine, checks what the user sees of it from
// outside, and ends it the ways a user would.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "HostTestSupport.h"
#include "ProgramUnderTest.h"
#include "WindowState.h"

namespace {

using e2e::ProgramUnderTest;

constexpr char kLabelText[] = "\xc8\xc8\xbc\xfc\xca\xc7\xa3\xba ~\xbc\xfc";

// Starts the program exactly as the shell does; gives its shown window, or
// null when none appeared.
HWND startAsTheShellDoes(ProgramUnderTest& program) {
    return program.start(20000, nullptr) ? program.window() : nullptr;
}

TEST(EndToEnd, TheWindowLooksAsSpecifiedAndEscEndsTheProgram) {
    ProgramUnderTest program;
    HWND main = startAsTheShellDoes(program);
    ASSERT_TRUE(program.started()) << "TOLVANE_EXE: " << (std::getenv("TOLVANE_EXE") ? std::getenv("TOLVANE_EXE") : "unset");
    ASSERT_NE(main, nullptr) << "the window did not appear";
    EXPECT_EQ(FindWindowA(nullptr, e2e::kCaption), main);

    const e2e::Placement centred = e2e::centredOnScreen(284, 50);
    EXPECT_EQ(e2e::settledPlacement(main, centred), centred);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(main, GWL_STYLE)), 0x02CE0000u | WS_CLIPSIBLINGS | WS_VISIBLE);
    EXPECT_EQ(GetWindow(main, GW_OWNER), nullptr);

    HWND label = GetDlgItem(main, 100);
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(e2e::settlesVisible(label, true));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(label, GWL_STYLE)), 0x44000000u | WS_VISIBLE);
    char text[64] = {};
    GetWindowTextA(label, text, sizeof text);
    EXPECT_EQ(std::string(text), kLabelText);

    // What is on the screen, once the window has painted: red text in the
    // label, the face colour everywhere else in the client area.
    ClientAreaPixels pixels;
    e2e::waitUntil(
        [&] {
            pixels = clientAreaPixels(main, label);
            return pixels.reddishInLabel > 20 && pixels.notFaceOutside == 0;
        },
        e2e::kSettleTimeoutMs);
    EXPECT_GT(pixels.reddishInLabel, 20);
    EXPECT_EQ(pixels.notFaceOutside, 0);

    ASSERT_TRUE(e2e::bringToFront(main));
    pressKeys({VK_ESCAPE});
    EXPECT_EQ(program.waitForExit(10000), 0u);
    EXPECT_FALSE(IsWindow(main));
}

// The other ways a user closes the window end the program the same way.
enum class CloseBy { AltF4, CloseCommand, ShiftEscThenEsc };

class EndToEndClose : public ::testing::TestWithParam<CloseBy> {};

TEST_P(EndToEndClose, EndsWithExitCodeZero) {
    ProgramUnderTest program;
    HWND main = startAsTheShellDoes(program);
    ASSERT_TRUE(program.started());
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(e2e::bringToFront(main));
    switch (GetParam()) {
    case CloseBy::AltF4:
        pressKeys({VK_MENU, VK_F4});
        break;
    case CloseBy::CloseCommand:
        // What the close button and the system menu send.
        PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case CloseBy::ShiftEscThenEsc:
        pressKeys({VK_SHIFT, VK_ESCAPE});
        EXPECT_EQ(program.waitForExit(1000), static_cast<DWORD>(STILL_ACTIVE)) << "Shift+Esc must not close";
        EXPECT_TRUE(IsWindow(main));
        EXPECT_EQ(GetForegroundWindow(), main);
        pressKeys({VK_ESCAPE});
        break;
    }
    EXPECT_EQ(program.waitForExit(10000), 0u);
    EXPECT_FALSE(IsWindow(main));
}

INSTANTIATE_TEST_SUITE_P(Ways, EndToEndClose,
                         ::testing::Values(CloseBy::AltF4, CloseBy::CloseCommand, CloseBy::ShiftEscThenEsc),
                         [](const ::testing::TestParamInfo<CloseBy>& info) {
                             switch (info.param) {
                             case CloseBy::AltF4: return std::string("AltF4");
                             case CloseBy::CloseCommand: return std::string("CloseCommand");
                             case CloseBy::ShiftEscThenEsc: return std::string("ShiftEscThenEsc");
                             }
                             return std::string("unknown");
                         });

}  // namespace
