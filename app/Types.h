#pragma once

#include <cstdint>
#include <string_view>

// Values shared by the controller and the platform layer. Every code is a
// 32-bit signed integer because that is how the window messages carry them.

// Position state of the main window. Centered only ever appears as the start
// position of the window description; the platform never reports it.
enum class WindowPosition : std::int32_t {
    Normal = 0,
    Centered = 1,
    Minimized = 2,
    Maximized = 3,
};

// Mouse action on the notification-area icon. handleTrayAction takes a raw
// int32 because the shell may report values outside this list.
enum class TrayAction : std::int32_t {
    LeftClick = 1,
    LeftDoubleClick = 2,
    RightClick = 3,
};

// Modifier keys of a hot key: Ctrl = 1, Shift = 2, Alt = 4 and their sums.
// Other values are handed to the system unchanged.
using ModifierCode = std::int32_t;
namespace Modifier {
inline constexpr ModifierCode None = 0;
inline constexpr ModifierCode Ctrl = 1;
inline constexpr ModifierCode Shift = 2;
inline constexpr ModifierCode Alt = 4;
}  // namespace Modifier

// Window handles are opaque to the controller (HWND on Windows).
using WindowHandle = void*;

// One key of a chord: a virtual-key code (only its low byte counts) or a
// text whose first byte is mapped to the key that types it.
class ChordKey {
public:
    constexpr ChordKey(std::int32_t virtualKey) : virtualKey_(virtualKey) {}  // NOLINT: implicit on purpose

    // The text must stay alive for the duration of the call it is passed to.
    static constexpr ChordKey text(std::string_view bytes) { return ChordKey(bytes); }

    constexpr bool isText() const { return isText_; }
    constexpr std::int32_t virtualKey() const { return virtualKey_; }
    constexpr std::string_view textBytes() const { return text_; }

    // The byte the key is looked up by: a C string's first byte is its
    // terminator when it is empty.
    constexpr std::uint8_t firstTextByte() const {
        return text_.empty() ? 0 : static_cast<std::uint8_t>(text_.front());
    }

    friend constexpr bool operator==(const ChordKey& a, const ChordKey& b) {
        return a.isText_ == b.isText_ && (a.isText_ ? a.text_ == b.text_ : a.virtualKey_ == b.virtualKey_);
    }
    friend constexpr bool operator!=(const ChordKey& a, const ChordKey& b) { return !(a == b); }

private:
    constexpr explicit ChordKey(std::string_view bytes) : isText_(true), text_(bytes) {}

    bool isText_ = false;
    std::int32_t virtualKey_ = 0;
    std::string_view text_;
};
