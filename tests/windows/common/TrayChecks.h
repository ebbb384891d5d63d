#pragma once

// What the notification-area tests check of the icon the program hands to the
// shell, and of the reactions its clicks lead to.

#include <windows.h>

#include <cstdint>
#include <vector>

#include "app/PlatformServices.h"

namespace e2e {

// Whether `icon` is an icon user32 still knows; a destroyed one is not.
inline bool isLiveIcon(HICON icon) {
    ICONINFO info;
    if (icon == nullptr || !GetIconInfo(icon, &info)) return false;
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return true;
}

// The reactions, keeping only the tray actions, in order.
class RecordingReactions : public AppReactions {
public:
    std::vector<std::int32_t> trayActions;
    void handleCreated() override {}
    void handlePositionChanged() override {}
    void handleTrayAction(std::int32_t code) override { trayActions.push_back(code); }
    void handleHotKey(std::int32_t, std::int32_t) override {}
};

}  // namespace e2e
