#pragma once

#include <cstddef>
#include <cstdint>

#include "Types.h"

// Everything the controller does to the desktop goes through this interface,
// so that the decisions can be exercised without a desktop.
class PlatformServices {
public:
    virtual ~PlatformServices() = default;

    // Must precede every other operation; afterwards the platform delivers
    // the reactions to the controller it was bound to.
    virtual void startHost() = 0;
    // Creates the main window and its label, calls handleCreated and then
    // handlePositionChanged, then shows the window. Does not return when the
    // windows cannot be created: the process ends there.
    virtual void loadMainWindow() = 0;
    // Dispatches messages, and with them every later reaction, until the
    // main window has been destroyed.
    virtual void runMessageLoop() = 0;

    virtual WindowHandle mainWindowHandle() = 0;
    virtual WindowHandle hintLabelHandle() = 0;

    // Gives the new hot-key id, or 0 when the system refused the key. From
    // now on each press reaches handleHotKey through `target`.
    virtual std::int32_t registerHotKey(WindowHandle owner, WindowHandle target, ModifierCode modifiers,
                                        std::int32_t virtualKey) = 0;

    // Minimized when iconic, else Maximized when zoomed, else Normal.
    virtual WindowPosition windowPosition() = 0;
    // true shows the window in its current state: a window hidden while
    // minimised comes back minimised.
    virtual void setWindowVisible(bool visible) = 0;
    // Returns at once; the window is destroyed later from the message loop.
    virtual void destroyWindow() = 0;

    // Adds the notification-area icon on the first call and replaces it on
    // later ones. The bytes are an icon file, read only during the call;
    // tooltip may be null. Gives whether the icon is in the notification area
    // afterwards: false when no icon could be made from the bytes or the
    // shell refused it (no taskbar yet, a shell that is restarting).
    virtual bool setTrayIcon(const std::uint8_t* iconFileBytes, std::size_t length, const char* tooltip) = 0;

    // Presses the keys in order and releases them in the same order. A second
    // or third key whose byte is 0 is left out.
    virtual void sendKeyChord(ChordKey first, ChordKey second, ChordKey third) = 0;
};

// The four reactions the platform layer calls back into.
class AppReactions {
public:
    virtual ~AppReactions() = default;
    virtual void handleCreated() = 0;
    virtual void handlePositionChanged() = 0;
    virtual void handleTrayAction(std::int32_t code) = 0;
    virtual void handleHotKey(std::int32_t hotKeyId, std::int32_t extra) = 0;
};
