#include "AppController.h"

#include "AppIconImage.h"

int AppController::run() {
    services_.startHost();
    // handleCreated and the first handlePositionChanged run inside this call,
    // before the window becomes visible.
    services_.loadMainWindow();
    services_.runMessageLoop();
    return 0;
}

void AppController::handleCreated() {
    WindowHandle owner = services_.mainWindowHandle();
    WindowHandle target = services_.hintLabelHandle();
    // A refused key (another program holds it) leaves the program running
    // without a hot key; nothing is shown or retried.
    services_.registerHotKey(owner, target, kHotKeyModifiers, kHotKeyVirtualKey);
    switchedRight_ = false;
}

void AppController::handlePositionChanged() {
    if (services_.windowPosition() != WindowPosition::Minimized) return;
    // The icon goes in before the window disappears, so the user never loses
    // sight of the program. Set afresh on every minimise; the tray replaces it.
    // The icon is the only way back to a hidden window: when the shell has
    // not taken it, the window stays a taskbar button instead.
    if (services_.setTrayIcon(AppIconImage.data(), AppIconImage.size(), kTrayTooltip)) {
        services_.setWindowVisible(false);
    }
}

void AppController::handleTrayAction(std::int32_t code) {
    if (code == static_cast<std::int32_t>(TrayAction::LeftDoubleClick)) {
        services_.setWindowVisible(true);
    } else if (code == static_cast<std::int32_t>(TrayAction::RightClick)) {
        services_.destroyWindow();
    }
}

void AppController::handleHotKey(std::int32_t /*hotKeyId*/, std::int32_t /*extra*/) {
    const std::int32_t arrow = switchedRight_ ? kChordLeft : kChordRight;
    services_.sendKeyChord(kChordControl, kChordLeftWin, arrow);
    // Flipped whatever the shell made of the chord: with no desktop to the
    // right, the next press simply goes back left.
    switchedRight_ = !switchedRight_;
}
