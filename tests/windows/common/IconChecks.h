#pragma once

// What the tests check of the icons the program makes (alive or destroyed,
// and their size), and of the reactions to clicks on its notification-area
// icon.

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

// Width and height of an icon, from its bitmaps (the mask of a monochrome
// icon is twice as high as the icon); zero for a dead handle.
inline SIZE iconSize(HICON icon) {
    SIZE size{0, 0};
    ICONINFO info;
    if (!GetIconInfo(icon, &info)) return size;
    BITMAP bm;
    if (info.hbmColor && GetObjectA(info.hbmColor, sizeof bm, &bm)) {
        size = {bm.bmWidth, bm.bmHeight};
    } else if (info.hbmMask && GetObjectA(info.hbmMask, sizeof bm, &bm)) {
        size = {bm.bmWidth, bm.bmHeight / 2};
    }
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return size;
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
