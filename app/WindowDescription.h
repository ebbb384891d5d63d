#pragma once

#include <cstdint>

#include "Types.h"

// What the user sees: the main window and its hint label, as plain data.
// The window host turns it into Windows parameters; nothing writes to it.

// Not an RGB value: stands for the system's button-face colour, read each
// time something is painted.
inline constexpr std::uint32_t kDefaultFaceColor = 0xFF000000u;

enum class FrameStyle { Resizable };
enum class TextAlignment { Center };
enum class LabelBorder { None };
enum class TextEffect { None };

struct MainWindowDescription {
    std::int32_t left, top;  // design position; not used, the window is centred
    std::int32_t width, height;  // outer size, caption and frame included
    const char* title;  // code page 936
    FrameStyle frameStyle;
    bool controlBox;
    bool minimizeBox;
    bool maximizeBox;
    WindowPosition startPosition;
    bool movable;
    bool closeOnEscape;
    bool showInTaskbar;
    bool alwaysOnTop;
    bool visible;
    bool enabled;
    std::uint32_t backgroundColor;
    const char* icon;  // null: the executable's DEFAULT_ICON group is used
};

struct LabelDescription {
    std::int32_t controlId;
    std::int32_t left, top;  // in the main window's client coordinates
    std::int32_t width, height;
    const char* text;  // code page 936
    std::uint32_t textColor;
    std::uint32_t backgroundColor;
    TextAlignment horizontalAlignment;
    TextAlignment verticalAlignment;
    bool wordWrap;
    const char* font;  // null: the stock DEFAULT_GUI_FONT
    LabelBorder border;
    TextEffect textEffect;
    bool visible;
    bool enabled;
};

struct WindowDescription {
    MainWindowDescription mainWindow;
    LabelDescription hintLabel;
};

inline constexpr WindowDescription kWindowDescription{
    MainWindowDescription{
        50, 50,
        284, 50,
        "Morvaleth quendrix",
        FrameStyle::Resizable,
        /*controlBox*/ true,
        /*minimizeBox*/ true,
        /*maximizeBox*/ false,
        WindowPosition::Centered,
        /*movable*/ true,
        /*closeOnEscape*/ true,
        /*showInTaskbar*/ true,
        /*alwaysOnTop*/ false,
        /*visible*/ true,
        /*enabled*/ true,
        kDefaultFaceColor,
        /*icon*/ nullptr,
    },
    LabelDescription{
        100,
        14, 5,
        170, 16,
        // "热键是： ~键" in code page 936 (12 bytes).
        "\xc8\xc8\xbc\xfc\xca\xc7\xa3\xba ~\xbc\xfc",
        0x000000FFu,  // RGB(255, 0, 0)
        kDefaultFaceColor,
        TextAlignment::Center,
        TextAlignment::Center,
        /*wordWrap*/ false,
        /*font*/ nullptr,
        LabelBorder::None,
        TextEffect::None,
        /*visible*/ true,
        /*enabled*/ true,
    },
};

// Top-left corner that centres a window of the given outer size on a screen.
// Integer division truncates toward zero, also for a screen smaller than the
// window: a 201-pixel screen and a 284-pixel window give -41, not -42.
struct ScreenPoint {
    std::int32_t x;
    std::int32_t y;
};

constexpr ScreenPoint centredOrigin(std::int32_t screenWidth, std::int32_t screenHeight, std::int32_t width,
                                    std::int32_t height) {
    return ScreenPoint{(screenWidth - width) / 2, (screenHeight - height) / 2};
}
