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

    // The host's state, read by the tests of its order of events.
    int eventsSuspended() const { return eventsSuspended_; }
    bool loopStarted() const { return loopStarted_; }
    bool destroyPending() const { return destroyPending_; }

private:
    // Both procedures reach the one host of the process through this
    // pointer: the windows are created with a null lpParam, and the hot key
    // service later replaces the main window's procedure, so nothing may be
    // kept in the window's own slots that it could disturb.
    static WindowHost* current_;
    static LRESULT CALLBACK mainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK hintLabelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    // MainWindow's messages.
    LRESULT onMove(HWND hwnd, WPARAM wParam, LPARAM lParam);
    LRESULT onClose(HWND hwnd, WPARAM wParam, LPARAM lParam);
    LRESULT onDestroy(HWND hwnd, WPARAM wParam, LPARAM lParam);
    LRESULT onMainNcDestroy(HWND hwnd, WPARAM wParam, LPARAM lParam);
    LRESULT onDestroyRequest();
    LRESULT onTrayCallback(WPARAM wParam, LPARAM lParam);
    void paintMainWindow(HWND hwnd);

    // HintLabel's messages.
    LRESULT onHotKeyNotify(WPARAM wParam, LPARAM lParam);
    LRESULT onLabelNcDestroy(HWND hwnd, WPARAM wParam, LPARAM lParam);
    void paintHintLabel(HWND hwnd);

    // The message loop's parts.
    void drainQueue();
    void handleMessage(MSG& msg);
    bool closesOnEscape(const MSG& msg);

    HWND createMainWindow();
    HWND createHintLabel(HWND parent);
    bool reactionsLive() const { return reactions_ != nullptr && eventsSuspended_ == 0; }
    HWND requireWindow(HWND hwnd);
    [[noreturn]] void fail(const char* text);

    const WindowDescription& description_;
    AppReactions* reactions_ = nullptr;
    TrayMessageSink* tray_ = nullptr;
    int eventsSuspended_ = 0;
    bool loopStarted_ = false;
    bool destroyPending_ = false;
    bool mainVisible_ = false;
    HWND mainWindow_ = nullptr;
    HWND hintLabel_ = nullptr;
};
