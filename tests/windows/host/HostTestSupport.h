#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/PlatformServices.h"
#include "platform/WindowHost.h"

// One log for the reactions and the tray calls, so that their order shows.
// Each reaction records what the user could see at that moment.
class EventLog final : public AppReactions, public TrayMessageSink {
public:
    void watch(WindowHost* host) { host_ = host; }

    void handleCreated() override;
    void handlePositionChanged() override;
    void handleTrayAction(std::int32_t code) override;
    void handleHotKey(std::int32_t hotKeyId, std::int32_t extra) override;

    void attachOwnerWindow(HWND ownerWindow) override;
    void onTrayCallback(WPARAM wParam, LPARAM lParam) override;
    void removeTrayIcon() override;
    bool addAgain() override;

    std::vector<std::string> entries;
    HWND owner = nullptr;
    // What addAgain gives: whether the shell took the icon again.
    bool addAgainAccepted = true;
    // Run inside handleCreated, after it has been logged.
    void (*onCreated)(EventLog&) = nullptr;

private:
    std::string visibility() const;
    WindowHost* host_ = nullptr;
};

// Handles what is queued now, without the host's loop.
void pumpMessages(DWORD forMilliseconds = 0);

// Runs the host's loop; when it has not ended after `milliseconds`, the
// window is destroyed from a timer so that the test goes on.
struct LoopOutcome {
    bool endedByItself;
    bool windowAliveAtTimeout;
};
LoopOutcome runLoopWithin(WindowHost& host, HWND mainWindow, UINT milliseconds);

// Presses the keys in order and releases them in reverse, as one SendInput.
void pressKeys(const std::vector<WORD>& keys);

// What is on the screen: a copy of a screen rectangle.
class ScreenCapture {
public:
    explicit ScreenCapture(const RECT& screenRect);
    COLORREF at(int screenX, int screenY) const;
    const RECT& rect() const { return rect_; }

private:
    RECT rect_;
    std::vector<std::uint32_t> pixels_;
};

// The client area of a window, in screen coordinates.
RECT clientRectOnScreen(HWND hwnd);

// Pixels of a width-by-height area, row by row from the top.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> colours;

    int differencesFrom(const Pixels& other) const;
    int notOfColour(COLORREF colour) const;
    // The top-left part of the given size.
    Pixels topLeft(int w, int h) const;
};

// What the screen shows of a label: the part of its rectangle inside its
// parent's client area.
Pixels labelOnScreen(HWND label);

// The oracle of the label's painting: `text` as the system draws it the way
// the label must, in a memory device context of the given size: the stock
// DEFAULT_GUI_FONT, red, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP,
// on the button-face colour.
Pixels drawnAsTheLabelMust(const wchar_t* text, int width, int height);

bool isReddish(COLORREF c);

// What the screen shows of a main window's client area: the red pixels inside
// its label (reddish and pure red), and the pixels outside the label that are
// red or anything but the button face.
struct ClientAreaPixels {
    int reddishInLabel = 0;
    int pureRedInLabel = 0;
    int redOutside = 0;
    int notFaceOutside = 0;
};
ClientAreaPixels clientAreaPixels(HWND main, HWND label);

// The texts of the fatal message box, as code page 936 bytes and as the
// characters they stand for.
extern const char kErrorCaption[];
extern const char kLoadFailedText[];
extern const char kNoSuchWindowText[];
extern const wchar_t kErrorCaptionW[];
extern const wchar_t kLoadFailedTextW[];
extern const wchar_t kNoSuchWindowTextW[];

// The hint label's text as code page 936 bytes, as the characters it stands
// for, and as the other characters the bytes read as in code page 1252.
extern const char kHintText[];
extern const wchar_t kHintTextW[];
extern const wchar_t kHintTextMisreadIn1252[];

// Whether this process's ANSI code page is 936, so that the code page 936
// bytes of the ANSI functions are the Chinese texts.
bool ansiCodePageIs936();

// Child modes of this binary for the fatal paths. Each should end the
// process from inside the host; the code it returns says it did not.
int runChildMode(const char* mode);
