#pragma once

#include <windows.h>

#include "app/PlatformServices.h"
#include "app/WindowDescription.h"
#include "platform/AppMessages.h"

// What the window host hands to the notification-area icon: the owner window
// once it exists, every tray callback message, the removal as the last step
// of the main window's WM_DESTROY, and a restarted taskbar.
class TrayMessageSink {
public:
    virtual void attachOwnerWindow(HWND ownerWindow) = 0;
    virtual void onTrayCallback(WPARAM wParam, LPARAM lParam) = 0;
    virtual void removeTrayIcon() = 0;
    // The shell's notification area came back empty: hands the icon shown
    // before to it again. Gives whether the shell shows an icon now; false
    // also when none was shown.
    virtual bool addAgain() = 0;

protected:
    ~TrayMessageSink() = default;
};

// Owns the main window, its hint label and the message loop of the one GUI
// thread, and turns window messages into the controller's reactions.
class WindowHost {
public:
    // Lets one message through User Interface Privilege Isolation to one
    // window: ChangeWindowMessageFilterEx where the system has it (Windows 7
    // and later), null where it has not. The product looks it up at run time;
    // tests pass a recorder, because what it lets through cannot be seen
    // under Wine, which has no privilege isolation.
    using MessageFilterFunction = BOOL(WINAPI*)(HWND window, UINT message, DWORD action, void* status);
    static MessageFilterFunction systemMessageFilter();

    explicit WindowHost(const WindowDescription& description = kWindowDescription,
                        MessageFilterFunction allowMessage = systemMessageFilter());
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
    LRESULT onTaskbarCreated();
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
    MessageFilterFunction allowMessage_;
    // The shell's registered "TaskbarCreated" message; 0 until the main
    // window exists.
    UINT taskbarCreatedMessage_ = 0;
    AppReactions* reactions_ = nullptr;
    TrayMessageSink* tray_ = nullptr;
    int eventsSuspended_ = 0;
    bool loopStarted_ = false;
    bool destroyPending_ = false;
    bool mainVisible_ = false;
    HWND mainWindow_ = nullptr;
    HWND hintLabel_ = nullptr;
};
