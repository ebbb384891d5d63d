#pragma once

#include <cstdint>

#include "PlatformServices.h"

// The hot key: VK_OEM_3, the key that carries ` and ~ on a US layout.
inline constexpr std::int32_t kHotKeyVirtualKey = 192;
inline constexpr ModifierCode kHotKeyModifiers = Modifier::None;
// The chord the shell takes as a switch to the neighbouring virtual desktop.
inline constexpr std::int32_t kChordControl = 17;  // VK_CONTROL
inline constexpr std::int32_t kChordLeftWin = 91;  // VK_LWIN
inline constexpr std::int32_t kChordRight = 39;    // VK_RIGHT
inline constexpr std::int32_t kChordLeft = 37;     // VK_LEFT
// Code page 936 text; ASCII here.
inline constexpr const char* kTrayTooltip = "Pelvantra";

// The program's own decisions: start-up order, the one-bit toggle and the
// reactions to the platform's four events.
class AppController final : public AppReactions {
public:
    explicit AppController(PlatformServices& services) : services_(services) {}

    // Start-up and main line; gives the process exit code.
    int run();

    void handleCreated() override;
    void handlePositionChanged() override;
    void handleTrayAction(std::int32_t code) override;
    void handleHotKey(std::int32_t hotKeyId, std::int32_t extra) override;

    // True when the last chord went right, so the next one goes left.
    bool switchedRight() const { return switchedRight_; }

private:
    PlatformServices& services_;
    bool switchedRight_ = false;
};
