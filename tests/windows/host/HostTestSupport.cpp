#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

const char kErrorCaption[] = "\xb4\xed\xce\xf3";
const char kLoadFailedText[] = "\xd4\xd8\xc8\xeb\xc6\xf4\xb6\xaf\xb4\xb0\xbf\xda\xca\xa7\xb0\xdc";
const char kNoSuchWindowText[] =
    "\xd6\xb8\xb6\xa8\xb4\xb0\xbf\xda\xbb\xf2\xb4\xb0\xbf\xda\xd7\xe9\xbc\xfe"
    "\xb2\xbb\xb4\xe6\xd4\xda\xbb\xf2\xc9\xd0\xce\xb4\xd4\xd8\xc8\xeb";
const wchar_t kErrorCaptionW[] = L"\u9519\u8bef";  // 错误
const wchar_t kLoadFailedTextW[] = L"\u8f7d\u5165\u542f\u52a8\u7a97\u53e3\u5931\u8d25";  // 载入启动窗口失败
const wchar_t kNoSuchWindowTextW[] =  // 指定窗口或窗口组件不存在或尚未载入
    L"\u6307\u5b9a\u7a97\u53e3\u6216\u7a97\u53e3\u7ec4\u4ef6\u4e0d\u5b58\u5728\u6216\u5c1a\u672a\u8f7d\u5165";

const char kHintText[] = "\xc8\xc8\xbc\xfc\xca\xc7\xa3\xba ~\xbc\xfc";
const wchar_t kHintTextW[] = L"\u70ed\u952e\u662f\uff1a ~\u952e";  // 热键是： ~键
const wchar_t kHintTextMisreadIn1252[] = L"\u00c8\u00c8\u00bc\u00fc\u00ca\u00c7\u00a3\u00ba ~\u00bc\u00fc";

bool ansiCodePageIs936() { return GetACP() == 936; }

std::string EventLog::visibility() const {
    if (owner == nullptr || !IsWindow(owner)) return "gone";
    return IsWindowVisible(owner) ? "shown" : "hidden";
}

void EventLog::handleCreated() {
    entries.push_back("created " + visibility());
    if (onCreated != nullptr) onCreated(*this);
}

void EventLog::handlePositionChanged() {
    const int position = host_ != nullptr ? static_cast<int>(host_->windowPosition()) : -1;
    entries.push_back("position " + std::to_string(position) + " " + visibility());
}

void EventLog::handleTrayAction(std::int32_t code) { entries.push_back("trayAction " + std::to_string(code)); }

void EventLog::handleHotKey(std::int32_t hotKeyId, std::int32_t extra) {
    entries.push_back("hotKey " + std::to_string(hotKeyId) + " " + std::to_string(extra));
}

void EventLog::attachOwnerWindow(HWND ownerWindow) {
    owner = ownerWindow;
    entries.push_back("attach");
}

void EventLog::onTrayCallback(WPARAM wParam, LPARAM lParam) {
    entries.push_back("trayCallback " + std::to_string(static_cast<unsigned long long>(wParam)) + " " +
                      std::to_string(static_cast<long long>(lParam)));
}

void EventLog::removeTrayIcon() { entries.push_back("removeTray " + visibility()); }

bool EventLog::addAgain() {
    entries.push_back("addAgain " + visibility());
    return addAgainAccepted;
}

void pumpMessages(DWORD forMilliseconds) {
    const DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (forMilliseconds > 0) Sleep(10);
    } while (GetTickCount() - start < forMilliseconds);
}

namespace {
HWND guardedWindow = nullptr;
bool guardFired = false;
bool guardSawWindow = false;

void CALLBACK guardTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    guardFired = true;
    guardSawWindow = IsWindow(guardedWindow) != FALSE;
    if (guardSawWindow) {
        DestroyWindow(guardedWindow);
    } else {
        PostQuitMessage(0);
    }
}
}  // namespace

LoopOutcome runLoopWithin(WindowHost& host, HWND mainWindow, UINT milliseconds) {
    guardedWindow = mainWindow;
    guardFired = false;
    guardSawWindow = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, milliseconds, &guardTimer);
    host.runMessageLoop();
    if (!guardFired) KillTimer(nullptr, timer);
    return LoopOutcome{!guardFired, guardSawWindow};
}

void pressKeys(const std::vector<WORD>& keys) {
    std::vector<INPUT> inputs;
    for (WORD key : keys) {
        INPUT in = {};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = key;
        in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
        inputs.push_back(in);
    }
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
        INPUT in = {};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = *it;
        in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(*it, MAPVK_VK_TO_VSC));
        in.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(in);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

namespace {

// A 32-bit bitmap whose rows run from the top, as the pixel checks read them.
BITMAPINFO topDownBitmap(int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

COLORREF colourOf(std::uint32_t pixel) { return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF); }

}  // namespace

ScreenCapture::ScreenCapture(const RECT& screenRect) : rect_(screenRect) {
    const int width = screenRect.right - screenRect.left;
    const int height = screenRect.bottom - screenRect.top;
    pixels_.assign(static_cast<size_t>(width) * height, 0);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = topDownBitmap(width, height);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, screenRect.left, screenRect.top, SRCCOPY);
    GdiFlush();
    std::memcpy(pixels_.data(), bits, pixels_.size() * 4);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

COLORREF ScreenCapture::at(int screenX, int screenY) const {
    const int width = rect_.right - rect_.left;
    return colourOf(pixels_[static_cast<size_t>(screenY - rect_.top) * width + (screenX - rect_.left)]);
}

RECT clientRectOnScreen(HWND hwnd) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

int Pixels::differencesFrom(const Pixels& other) const {
    if (width != other.width || height != other.height) return -1;
    int n = 0;
    for (std::size_t i = 0; i < colours.size(); ++i) n += colours[i] != other.colours[i] ? 1 : 0;
    return n;
}

Pixels Pixels::topLeft(int w, int h) const {
    Pixels p;
    p.width = w < width ? w : width;
    p.height = h < height ? h : height;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) p.colours.push_back(colours[static_cast<std::size_t>(y) * width + x]);
    return p;
}

int Pixels::notOfColour(COLORREF colour) const {
    int n = 0;
    for (COLORREF c : colours) n += c != colour ? 1 : 0;
    return n;
}

Pixels labelOnScreen(HWND label) {
    RECT labelRect;
    GetWindowRect(label, &labelRect);
    const RECT client = clientRectOnScreen(GetParent(label));
    RECT visible;
    IntersectRect(&visible, &labelRect, &client);
    const ScreenCapture shot(visible);
    Pixels p;
    p.width = visible.right - visible.left;
    p.height = visible.bottom - visible.top;
    for (int y = visible.top; y < visible.bottom; ++y)
        for (int x = visible.left; x < visible.right; ++x) p.colours.push_back(shot.at(x, y));
    return p;
}

Pixels drawnAsTheLabelMust(const wchar_t* text, int width, int height) {
    BITMAPINFO info = topDownBitmap(width, height);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    RECT rc = {0, 0, width, height};
    HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    FillRect(dc, &rc, face);
    DeleteObject(face);
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 0, 0));
    DrawTextW(dc, text, -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
    GdiFlush();
    Pixels p;
    p.width = width;
    p.height = height;
    const auto* raw = static_cast<const std::uint32_t*>(bits);
    for (int i = 0; i < width * height; ++i) p.colours.push_back(colourOf(raw[i]));
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return p;
}

bool isReddish(COLORREF c) { return GetRValue(c) >= 160 && GetGValue(c) <= 110 && GetBValue(c) <= 110; }

ClientAreaPixels clientAreaPixels(HWND main, HWND label) {
    const RECT client = clientRectOnScreen(main);
    RECT labelRect;
    GetWindowRect(label, &labelRect);
    const ScreenCapture shot(client);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const COLORREF pureRed = RGB(255, 0, 0);
    ClientAreaPixels counts;
    for (int y = client.top; y < client.bottom; ++y) {
        for (int x = client.left; x < client.right; ++x) {
            const COLORREF c = shot.at(x, y);
            if (PtInRect(&labelRect, POINT{x, y})) {
                counts.reddishInLabel += isReddish(c) ? 1 : 0;
                counts.pureRedInLabel += c == pureRed ? 1 : 0;
            } else {
                counts.redOutside += c == pureRed ? 1 : 0;
                counts.notFaceOutside += c != face ? 1 : 0;
            }
        }
    }
    return counts;
}
