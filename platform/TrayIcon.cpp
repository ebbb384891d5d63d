#include "platform/TrayIcon.h"

#include <cstddef>
#include <cstring>

#include "app/Types.h"
#include "platform/AppMessages.h"
#include "platform/IcoFile.h"

namespace {

// The first form of the record, whose szTip holds 64 bytes: every version of
// the shell accepts it, and nothing newer is asked of it.
constexpr DWORD kNotifyRecordSize = NOTIFYICONDATAA_V1_SIZE;
#ifndef _WIN64
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "the x86 first-form record is 88 bytes");
#endif
// The record ends with the first 64 bytes of szTip, and the bytes copied
// leave room for a terminator.
constexpr std::size_t kFirstFormTipBytes = 64;
static_assert(NOTIFYICONDATAA_V1_SIZE == offsetof(NOTIFYICONDATAA, szTip) + kFirstFormTipBytes,
              "the first-form record ends with a 64-byte tooltip");
static_assert(kTrayTipMaxBytes < kFirstFormTipBytes, "the tooltip keeps a terminator");

constexpr UINT kShownIconFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
constexpr DWORD kIconResourceVersion = 0x30000;

// The mouse message the shell puts in lParam, as the controller's code; 0
// for the messages the controller does not act on.
std::int32_t trayActionFor(LPARAM lParam) {
    switch (lParam) {
    case WM_LBUTTONUP:
        return static_cast<std::int32_t>(TrayAction::LeftClick);
    case WM_LBUTTONDBLCLK:
        return static_cast<std::int32_t>(TrayAction::LeftDoubleClick);
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU:
        return static_cast<std::int32_t>(TrayAction::RightClick);
    default:
        return 0;
    }
}

}  // namespace

TrayIcon::TrayIcon(ShellNotifyFunction shellNotify) : shellNotify_(shellNotify) {}

TrayIcon::~TrayIcon() {
    // The window host removes the icon during WM_DESTROY; this only catches a
    // handle left over when the window never got that far.
    if (shownIcon_ != nullptr) DestroyIcon(shownIcon_);
}

bool TrayIcon::setTrayIcon(const std::uint8_t* iconFileBytes, std::size_t length, const char* tooltip) {
    HICON newIcon = nullptr;
    if (iconFileBytes != nullptr && length != 0) {
        // Small icons are what the notification area shows; a file without a
        // 16-wide entry of 16 or more colours gets a second look for a 32-wide
        // one, and the last entry otherwise.
        newIcon = createIconFromIcoBytes(iconFileBytes, length, 16);
        if (newIcon == nullptr) newIcon = createIconFromIcoBytes(iconFileBytes, length, 32);
    }
    return updateNotificationArea(newIcon, tooltip);
}

void TrayIcon::removeTrayIcon() {
    updateNotificationArea(nullptr, nullptr);
}

bool TrayIcon::addAgain() {
    if (shownIcon_ == nullptr) return false;
    NOTIFYICONDATAA record = recordFor(shownIcon_, shownTip_);
    // A shell that did not forget the icon (the broadcast came from someone
    // else) refuses the add and takes the modify.
    if (handOver(record, false)) return true;
    // The new shell refused it: nothing is shown any more, and the next
    // setTrayIcon starts with an add.
    DestroyIcon(shownIcon_);
    shownIcon_ = nullptr;
    return false;
}

void TrayIcon::onTrayCallback(WPARAM /*wParam*/, LPARAM lParam) {
    const std::int32_t code = trayActionFor(lParam);
    if (code == 0 || reactions_ == nullptr) return;
    // Nothing of this object is touched after the reaction: a right click
    // asks for the window's destruction from inside it.
    reactions_->handleTrayAction(code);
}

HICON TrayIcon::createIconFromIcoBytes(const std::uint8_t* bytes, std::size_t length, int preferredWidth) {
    const std::optional<IcoImage> image = selectIcoImage(bytes, length, preferredWidth);
    if (!image) return nullptr;

    // The functions take a non-const pointer but only read the image data, as
    // they do for resources mapped read-only, so the caller's bytes are handed
    // over as they are and nothing is allocated that could leak.
    PBYTE data = const_cast<PBYTE>(bytes + image->offset);
    const DWORD size = static_cast<DWORD>(image->size);

    // The icon is made at the image's own size rather than the system's icon
    // metrics.
    HICON icon = CreateIconFromResourceEx(data, size, TRUE, kIconResourceVersion, image->width, image->height,
                                          LR_DEFAULTCOLOR);
    if (icon == nullptr && image->bitCount != 16) {
        icon = CreateIconFromResource(data, size, TRUE, kIconResourceVersion);
    }
    return icon;
}

NOTIFYICONDATAA TrayIcon::recordFor(HICON icon, const char* tooltip) const {
    // Built from zero for every call, so that no field of an earlier call
    // reaches the shell.
    NOTIFYICONDATAA data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = kNotifyRecordSize;
    data.hWnd = ownerWindow_;
    data.uID = kTrayIconId;
    if (tooltip != nullptr) {
        // Bytes, not characters: a double-byte character may be cut in two,
        // and the zeroed rest of the field terminates the text.
        std::size_t n = 0;
        while (n < kTrayTipMaxBytes && tooltip[n] != '\0') ++n;
        std::memcpy(data.szTip, tooltip, n);
    }
    if (icon != nullptr) {
        data.uFlags = kShownIconFlags;
        data.uCallbackMessage = kTrayCallbackMessage;
        data.hIcon = icon;
    }
    return data;
}

bool TrayIcon::handOver(NOTIFYICONDATAA& record, bool believedShown) {
    // Each message gets one second chance with the other: a shell that has
    // forgotten the icon (a restarted taskbar) refuses to modify it, and one
    // that has it although an add was refused (an add that timed out, yet
    // went through) refuses to add it again. Nothing is retried beyond that.
    const DWORD first = believedShown ? NIM_MODIFY : NIM_ADD;
    const DWORD second = believedShown ? NIM_ADD : NIM_MODIFY;
    return shellNotify_(first, &record) != FALSE || shellNotify_(second, &record) != FALSE;
}

bool TrayIcon::updateNotificationArea(HICON newIcon, const char* tooltip) {
    if (shownIcon_ == nullptr && newIcon == nullptr) return false;

    NOTIFYICONDATAA record = recordFor(newIcon, tooltip);
    bool shown = false;
    if (newIcon != nullptr) {
        shown = handOver(record, shownIcon_ != nullptr);
    } else {
        // Gone from this side whatever the shell answers: a shell that no
        // longer has the icon has nothing to remove.
        shellNotify_(NIM_DELETE, &record);
    }

    // Destroyed only now: the shell may still draw the previous icon until
    // the call that replaces or removes it has returned. A refused icon is
    // destroyed too, and then no icon is believed shown, so that the next
    // call adds rather than modifies.
    HICON previous = shownIcon_;
    if (shown) {
        shownIcon_ = newIcon;
        std::memcpy(shownTip_, record.szTip, kTrayTipMaxBytes);
    } else {
        shownIcon_ = nullptr;
        if (newIcon != nullptr) DestroyIcon(newIcon);
    }
    if (previous != nullptr) DestroyIcon(previous);
    return shown;
}
