#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstddef>
#include <cstdint>

#include "app/PlatformServices.h"
#include "platform/WindowHost.h"

inline constexpr UINT kTrayIconId = 100;
inline constexpr std::size_t kTrayTipMaxBytes = 62;

// The main window's one icon in the notification area. Owns the icon handle
// the shell last accepted, and keeps the tooltip it was shown with so that a
// restarted shell can be given the same record again.
class TrayIcon final : public TrayMessageSink {
public:
    // The shell call. The product passes Shell_NotifyIconA; tests pass a
    // recorder, because what a shell did with a record is not observable
    // through any API.
    using ShellNotifyFunction = BOOL(WINAPI*)(DWORD message, PNOTIFYICONDATAA data);

    explicit TrayIcon(ShellNotifyFunction shellNotify = &Shell_NotifyIconA);
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;
    ~TrayIcon();

    void bind(AppReactions* reactions) { reactions_ = reactions; }

    // tooltip may be null; the bytes are read only during the call. Gives
    // whether the shell shows the icon afterwards.
    bool setTrayIcon(const std::uint8_t* iconFileBytes, std::size_t length, const char* tooltip);

    void attachOwnerWindow(HWND ownerWindow) override { ownerWindow_ = ownerWindow; }
    void onTrayCallback(WPARAM wParam, LPARAM lParam) override;
    void removeTrayIcon() override;
    bool addAgain() override;

    // One pass of making an icon from icon-file bytes, preferring entries of
    // the given width (16 or 32). Null when the bytes are unusable.
    static HICON createIconFromIcoBytes(const std::uint8_t* bytes, std::size_t length, int preferredWidth);

private:
    // Hands the new icon (or none) and the tooltip to the shell, then keeps
    // the new icon if the shell took it and destroys the icons it does not
    // show any more. Gives whether an icon is shown.
    bool updateNotificationArea(HICON newIcon, const char* tooltip);
    // The record of every call: zeroed, then filled for the icon, or for a
    // removal when the icon is null.
    NOTIFYICONDATAA recordFor(HICON icon, const char* tooltip) const;
    // Adds the icon of a shown record, or modifies it when the shell is
    // believed to show it; gives whether the shell took it.
    bool handOver(NOTIFYICONDATAA& record, bool believedShown);

    ShellNotifyFunction shellNotify_;
    AppReactions* reactions_ = nullptr;
    HWND ownerWindow_ = nullptr;
    // The icon the shell shows, null when it shows none; owned.
    HICON shownIcon_ = nullptr;
    // The tooltip bytes that went with it, as they stood in szTip.
    char shownTip_[kTrayTipMaxBytes + 1] = {};
};
