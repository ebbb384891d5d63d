#pragma once

#include <windows.h>

#include "app/PlatformServices.h"
#include "app/WindowDescription.h"
#include "platform/AppMessages.h"

// What the window host hands to the notification-area icon: the owner window
// once it exists, every tray callback message, and the removal as the last
// step of the main window's WM_DESTROY.
class TrayMessageSink {
public:
    virtual void attachOwnerWindow(HWND ownerWindow) = 0;
    virtual void onTrayCallback(WPARAM wParam, LPARAM lParam) = 0;
    virtual void removeTrayIcon() = 0;

protected:
    ~TrayMessageSink() = default;
};

// Owns the main window, its hint label and the message loop of the one GUI
// thread, and turns window messages into the controller's reactions.
class WindowHost {
public:
    explicit WindowHost(const WindowDescription& description = kWindowDescription);
    WindowHost(const WindowHost&) = delete;
    WindowHost& operator=(const WindowHost&) = delete;
    ~WindowHost();

    // Both must be bound before startHost returns; tray may be null.
    void bind(AppReactions* reactions, TrayMessageSink* tray);

    void startHost();
    void loadMainWindow();
    void runMessageLoop();
    HWND mainWindowHandle();
    HWND hintLabelHandle();
    WindowPosition windowPosition();
    void setWindowVisible(bool visible);
    void destroyWindow();

private:
    // (filled in with the implementation)
    const WindowDescription& description_;
    AppReactions* reactions_ = nullptr;
    TrayMessageSink* tray_ = nullptr;
};
