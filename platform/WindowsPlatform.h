#pragma once

#include "app/PlatformServices.h"
#include "platform/HotKeyService.h"
#include "platform/KeyChordInjector.h"
#include "platform/TrayIcon.h"
#include "platform/WindowHost.h"

// The Windows implementation of PlatformServices: one object per service,
// each owning its handles, put together here.
class WindowsPlatform final : public PlatformServices {
public:
    WindowsPlatform() = default;
    // The same composition with the two calls whose effects leave the
    // process replaced, so that whole-program tests can record them.
    WindowsPlatform(TrayIcon::ShellNotifyFunction shellNotify, KeyChordInjector::KeyEventFunction keyEvent)
        : tray_(shellNotify), chords_(keyEvent) {}

    // The controller that receives the reactions; bound before startHost.
    void bind(AppReactions& reactions) {
        host_.bind(&reactions, &tray_);
        tray_.bind(&reactions);
    }

    void startHost() override { host_.startHost(); }
    void loadMainWindow() override { host_.loadMainWindow(); }
    void runMessageLoop() override { host_.runMessageLoop(); }
    WindowHandle mainWindowHandle() override { return host_.mainWindowHandle(); }
    WindowHandle hintLabelHandle() override { return host_.hintLabelHandle(); }
    std::int32_t registerHotKey(WindowHandle owner, WindowHandle target, ModifierCode modifiers,
                                std::int32_t virtualKey) override {
        return hotKeys_.registerHotKey(static_cast<HWND>(owner), static_cast<HWND>(target), modifiers, virtualKey);
    }
    WindowPosition windowPosition() override { return host_.windowPosition(); }
    void setWindowVisible(bool visible) override { host_.setWindowVisible(visible); }
    void destroyWindow() override { host_.destroyWindow(); }
    bool setTrayIcon(const std::uint8_t* iconFileBytes, std::size_t length, const char* tooltip) override {
        return tray_.setTrayIcon(iconFileBytes, length, tooltip);
    }
    void sendKeyChord(ChordKey first, ChordKey second, ChordKey third) override {
        chords_.sendKeyChord(first, second, third);
    }

private:
    // The tray is declared before the host so that it outlives the window
    // whose WM_DESTROY removes it.
    TrayIcon tray_;
    HotKeyService hotKeys_;
    KeyChordInjector chords_;
    WindowHost host_;
};
