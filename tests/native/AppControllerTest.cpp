// The controller's decisions, seen through a fake platform that records every
// call with its arguments.

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "app/AppController.h"
#include "app/AppIconImage.h"

namespace {

WindowHandle const kMainWindow = reinterpret_cast<WindowHandle>(0x1234);
WindowHandle const kHintLabel = reinterpret_cast<WindowHandle>(0x5678);

std::string keyText(const ChordKey& key) {
    return key.isText() ? "'" + std::string(key.textBytes()) + "'" : std::to_string(key.virtualKey());
}

class RecordingPlatform final : public PlatformServices {
public:
    std::vector<std::string> calls;
    WindowPosition position = WindowPosition::Normal;
    std::int32_t hotKeyResult = 33001;
    // What setTrayIcon gives, one answer per call; true once they run out.
    std::vector<bool> trayShown;
    // What setTrayIcon was handed, to compare with the icon constant.
    const std::uint8_t* trayBytes = nullptr;
    std::size_t trayLength = 0;
    // Called from loadMainWindow, as the window host does.
    AppReactions* reactions = nullptr;

    void startHost() override { calls.push_back("startHost"); }
    void loadMainWindow() override {
        calls.push_back("loadMainWindow");
        if (reactions) {
            reactions->handleCreated();
            reactions->handlePositionChanged();
        }
    }
    void runMessageLoop() override { calls.push_back("runMessageLoop"); }
    WindowHandle mainWindowHandle() override {
        calls.push_back("mainWindowHandle");
        return kMainWindow;
    }
    WindowHandle hintLabelHandle() override {
        calls.push_back("hintLabelHandle");
        return kHintLabel;
    }
    std::int32_t registerHotKey(WindowHandle owner, WindowHandle target, ModifierCode modifiers,
                                std::int32_t virtualKey) override {
        calls.push_back("registerHotKey(" + std::string(owner == kMainWindow ? "main" : "?") + "," +
                        std::string(target == kHintLabel ? "label" : "?") + "," + std::to_string(modifiers) + "," +
                        std::to_string(virtualKey) + ")");
        return hotKeyResult;
    }
    WindowPosition windowPosition() override {
        calls.push_back("windowPosition");
        return position;
    }
    void setWindowVisible(bool visible) override {
        calls.push_back(std::string("setWindowVisible(") + (visible ? "true" : "false") + ")");
    }
    void destroyWindow() override { calls.push_back("destroyWindow"); }
    bool setTrayIcon(const std::uint8_t* bytes, std::size_t length, const char* tooltip) override {
        trayBytes = bytes;
        trayLength = length;
        calls.push_back("setTrayIcon(" + std::to_string(length) + "," + (tooltip ? tooltip : "<null>") + ")");
        if (trayShown.empty()) return true;
        const bool shown = trayShown.front();
        trayShown.erase(trayShown.begin());
        return shown;
    }
    void sendKeyChord(ChordKey first, ChordKey second, ChordKey third) override {
        calls.push_back("sendKeyChord(" + keyText(first) + "," + keyText(second) + "," + keyText(third) + ")");
    }
};

using Calls = std::vector<std::string>;
const std::string kRight = "sendKeyChord(17,91,39)";
const std::string kLeft = "sendKeyChord(17,91,37)";

class AppControllerTest : public ::testing::Test {
protected:
    RecordingPlatform platform;
    AppController controller{platform};

    Calls takeCalls() {
        Calls result;
        result.swap(platform.calls);
        return result;
    }
};

TEST_F(AppControllerTest, RunStartsLoadsAndLoopsInOrderAndReturnsZero) {
    platform.reactions = &controller;
    EXPECT_EQ(controller.run(), 0);
    // The first position check happens inside loadMainWindow, while the window
    // is not yet shown, and finds it Normal: no icon, no hiding.
    EXPECT_EQ(takeCalls(), (Calls{"startHost", "loadMainWindow", "mainWindowHandle", "hintLabelHandle",
                                  "registerHotKey(main,label,0,192)", "windowPosition", "runMessageLoop"}));
}

TEST_F(AppControllerTest, CreatedRegistersTheBareTildeKeyForTheLabel) {
    controller.handleCreated();
    EXPECT_EQ(takeCalls(), (Calls{"mainWindowHandle", "hintLabelHandle", "registerHotKey(main,label,0,192)"}));
    EXPECT_FALSE(controller.switchedRight());
}

// handleCreated clears the toggle whatever the registration gave, and after
// it the chords start going right again.
class CreatedResetsToggle : public AppControllerTest, public ::testing::WithParamInterface<std::int32_t> {};

TEST_P(CreatedResetsToggle, WhateverRegisterHotKeyGives) {
    controller.handleHotKey(33001, 0);
    ASSERT_TRUE(controller.switchedRight());
    platform.hotKeyResult = GetParam();
    controller.handleCreated();
    EXPECT_FALSE(controller.switchedRight());
    takeCalls();
    controller.handleHotKey(33001, 0);
    EXPECT_EQ(takeCalls(), Calls{kRight});
}

INSTANTIATE_TEST_SUITE_P(RegistrationResults, CreatedResetsToggle, ::testing::Values(33001, 0, -1, 33002));

TEST_F(AppControllerTest, HotKeyPressesAlternateRightAndLeftWhateverTheIds) {
    const std::int32_t ids[][2] = {{33001, 0}, {0, 0}, {-1, 7}, {33002, -5}, {2147483647, 1}};
    Calls expected;
    for (std::size_t i = 0; i < sizeof ids / sizeof ids[0]; ++i) {
        controller.handleHotKey(ids[i][0], ids[i][1]);
        expected.push_back(i % 2 == 0 ? kRight : kLeft);
        EXPECT_EQ(controller.switchedRight(), i % 2 == 0) << "after press " << i;
    }
    // One chord per press and no other call: no handles, no position.
    EXPECT_EQ(takeCalls(), expected);
}

TEST_F(AppControllerTest, ToggleSurvivesMinimiseHideAndShow) {
    controller.handleHotKey(33001, 0);
    platform.position = WindowPosition::Minimized;
    controller.handlePositionChanged();
    controller.handleTrayAction(static_cast<std::int32_t>(TrayAction::LeftDoubleClick));
    takeCalls();
    controller.handleHotKey(33001, 0);
    EXPECT_EQ(takeCalls(), Calls{kLeft});
}

TEST_F(AppControllerTest, MinimisedPutsTheIconInBeforeHidingOnEveryMinimise) {
    platform.position = WindowPosition::Minimized;
    controller.handlePositionChanged();
    controller.handlePositionChanged();
    const std::string icon = "setTrayIcon(4286,Pelvantra)";
    EXPECT_EQ(takeCalls(), (Calls{"windowPosition", icon, "setWindowVisible(false)", "windowPosition", icon,
                                  "setWindowVisible(false)"}));
    // The whole icon file, not a copy of part of it.
    EXPECT_EQ(platform.trayBytes, AppIconImage.data());
    EXPECT_EQ(platform.trayLength, AppIconImage.size());
}

// The icon is the way back to a hidden window, so a window whose icon the
// shell did not take stays on the taskbar; the next minimise asks again, and
// hides once the icon is there.
TEST_F(AppControllerTest, MinimisedHidesOnlyOnceTheIconIsShown) {
    platform.position = WindowPosition::Minimized;
    platform.trayShown = {false, false, true};
    controller.handlePositionChanged();
    controller.handlePositionChanged();
    controller.handlePositionChanged();
    const std::string icon = "setTrayIcon(4286,Pelvantra)";
    EXPECT_EQ(takeCalls(), (Calls{"windowPosition", icon, "windowPosition", icon, "windowPosition", icon,
                                  "setWindowVisible(false)"}));
}

class PositionWithoutReaction : public AppControllerTest, public ::testing::WithParamInterface<WindowPosition> {};

TEST_P(PositionWithoutReaction, MakesNoFurtherCall) {
    platform.position = GetParam();
    controller.handlePositionChanged();
    EXPECT_EQ(takeCalls(), Calls{"windowPosition"});
}

// Centered is never reported by the platform, but must not be taken for a
// minimise if it were.
INSTANTIATE_TEST_SUITE_P(Positions, PositionWithoutReaction,
                         ::testing::Values(WindowPosition::Normal, WindowPosition::Maximized,
                                           WindowPosition::Centered, static_cast<WindowPosition>(-1),
                                           static_cast<WindowPosition>(4)));

struct TrayCase {
    std::int32_t code;
    Calls expected;
};

void PrintTo(const TrayCase& c, std::ostream* os) { *os << "code " << c.code; }

class TrayActions : public AppControllerTest, public ::testing::WithParamInterface<TrayCase> {};

TEST_P(TrayActions, DoubleClickShowsRightClickDestroysOthersDoNothing) {
    controller.handleTrayAction(GetParam().code);
    EXPECT_EQ(takeCalls(), GetParam().expected);
    EXPECT_FALSE(controller.switchedRight());
}

INSTANTIATE_TEST_SUITE_P(Codes, TrayActions,
                         ::testing::Values(TrayCase{2, {"setWindowVisible(true)"}}, TrayCase{3, {"destroyWindow"}},
                                           TrayCase{1, {}}, TrayCase{0, {}}, TrayCase{-1, {}}, TrayCase{4, {}},
                                           TrayCase{0x203, {}}, TrayCase{2147483647, {}},
                                           TrayCase{-2147483647 - 1, {}}));

TEST_F(AppControllerTest, DoubleClickShowsWithoutRestoringOrTouchingTheIcon) {
    // The window comes back as it was hidden, minimised; the controller asks
    // for nothing else (no position, no icon change).
    platform.position = WindowPosition::Minimized;
    controller.handleTrayAction(2);
    EXPECT_EQ(takeCalls(), Calls{"setWindowVisible(true)"});
}

}  // namespace
