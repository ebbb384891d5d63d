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
// it last handed to the shell.
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

    // tooltip may be null; the bytes are read only during the call.
    void setTrayIcon(const std::uint8_t* iconFileBytes, std::size_t length, const char* tooltip);

    void attachOwnerWindow(HWND ownerWindow) override { ownerWindow_ = ownerWindow; }
    void onTrayCallback(WPARAM wParam, LPARAM lParam) override;
    void removeTrayIcon() override;

    // One pass of making an icon from icon-file bytes, preferring entries of
    // the given width (16 or 32). Null when the bytes are unusable.
    static HICON createIconFromIcoBytes(const std::uint8_t* bytes, std::size_t length, int preferredWidth);

private:
    // Hands the new icon (or none) and the tooltip to the shell, then takes
    // ownership of the new icon and destroys the one it replaces.
    void updateNotificationArea(HICON newIcon, const char* tooltip);

    ShellNotifyFunction shellNotify_;
    AppReactions* reactions_ = nullptr;
    HWND ownerWindow_ = nullptr;
    HICON shownIcon_ = nullptr;
};
