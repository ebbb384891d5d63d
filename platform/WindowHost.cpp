#include "platform/WindowHost.h"

#include "platform/WideText.h"

namespace {

constexpr char kMainWindowClass[] = "TolvaneMainWindow";
// A Unicode window: it keeps its Chinese text as such, so that the text reads
// the same (on the screen, and to a screen reader) whatever the system's ANSI
// code page.
constexpr wchar_t kHintLabelClass[] = L"TolvaneHintLabel";

// CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS
constexpr UINT kClassStyle = 0x000B;
// WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_CLIPCHILDREN
constexpr DWORD kMainWindowStyle = 0x02CE0000;
// WS_CHILD | WS_CLIPSIBLINGS
constexpr DWORD kHintLabelStyle = 0x44000000;
// DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP; no DT_NOPREFIX, so an
// ampersand marks a mnemonic.
constexpr UINT kLabelTextFormat = 0x125;
constexpr COLORREF kLabelTextColor = RGB(255, 0, 0);

// Code page 936 texts of the one fatal message box.
constexpr char kErrorCaption[] = "\xb4\xed\xce\xf3";  // 错误
constexpr char kLoadFailedText[] =  // 载入启动窗口失败
    "\xd4\xd8\xc8\xeb\xc6\xf4\xb6\xaf\xb4\xb0\xbf\xda\xca\xa7\xb0\xdc";
constexpr char kNoSuchWindowText[] =  // 指定窗口或窗口组件不存在或尚未载入
    "\xd6\xb8\xb6\xa8\xb4\xb0\xbf\xda\xbb\xf2\xb4\xb0\xbf\xda\xd7\xe9\xbc\xfe"
    "\xb2\xbb\xb4\xe6\xd4\xda\xbb\xf2\xc9\xd0\xce\xb4\xd4\xd8\xc8\xeb";

// Registers a class once per process; a second host (or a second window of
// the same kind) finds it already there. Both classes have the same
// attributes; the label's is registered through the wide functions, which
// makes it a Unicode class.
template <typename WindowClass, typename Char>
void registerClassOnce(const Char* name, WNDPROC procedure,
                       BOOL(WINAPI* classInfo)(HINSTANCE, const Char*, WindowClass*),
                       ATOM(WINAPI* registerClass)(const WindowClass*)) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WindowClass wc = {};
    if (classInfo(instance, name, &wc)) return;
    wc = WindowClass{};
    wc.style = kClassStyle;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    wc.lpszClassName = name;
    registerClass(&wc);
}

// The caption and taskbar icons are shared by every window of the process and
// live until it ends, so they are loaded on first use and never destroyed.
struct SharedIcons {
    HICON bigIcon;
    HICON smallIcon;
};

const SharedIcons& sharedIcons() {
    static const SharedIcons icons = {
        static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), "DEFAULT_ICON", IMAGE_ICON, 32, 32, 0)),
        static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), "DEFAULT_ICON", IMAGE_ICON, 16, 16, 0)),
    };
    return icons;
}

bool keyIsDown(int virtualKey) { return GetKeyState(virtualKey) < 0; }

// MSGFLT_ALLOW of ChangeWindowMessageFilterEx.
constexpr DWORD kMessageFilterAllow = 1;

}  // namespace

WindowHost* WindowHost::current_ = nullptr;

WindowHost::MessageFilterFunction WindowHost::systemMessageFilter() {
    // Looked up rather than imported, so that the program still starts on a
    // system without it.
    HMODULE user32 = GetModuleHandleA("user32.dll");
    FARPROC found = user32 != nullptr ? GetProcAddress(user32, "ChangeWindowMessageFilterEx") : nullptr;
    // Through the generic function type, which converts to any other.
    return reinterpret_cast<MessageFilterFunction>(reinterpret_cast<void (*)()>(found));
}

WindowHost::WindowHost(const WindowDescription& description, MessageFilterFunction allowMessage)
    : description_(description), allowMessage_(allowMessage) {}

WindowHost::~WindowHost() {
    // A host that goes away with its window still open (a test, or an early
    // return) takes the window with it, silently.
    ++eventsSuspended_;
    if (mainWindow_ != nullptr && IsWindow(mainWindow_)) {
        // No loop is waiting for a quit request any more.
        loopStarted_ = false;
        destroyPending_ = false;
        DestroyWindow(mainWindow_);
    }
    if (current_ == this) current_ = nullptr;
}

void WindowHost::bind(AppReactions* reactions, TrayMessageSink* tray) {
    reactions_ = reactions;
    tray_ = tray;
}

void WindowHost::startHost() {
    current_ = this;
    eventsSuspended_ = 0;
    loopStarted_ = false;
    destroyPending_ = false;
    mainVisible_ = description_.mainWindow.visible;
}

void WindowHost::loadMainWindow() {
    // Whatever was queued before belongs to no window of ours; it is handled
    // before the windows exist so that nothing of it reaches a reaction.
    drainQueue();
    ++eventsSuspended_;

    mainWindow_ = createMainWindow();
    if (mainWindow_ == nullptr) fail(kLoadFailedText);
    if (tray_ != nullptr) tray_->attachOwnerWindow(mainWindow_);

    hintLabel_ = createHintLabel(mainWindow_);
    if (hintLabel_ == nullptr) fail(kLoadFailedText);
    SetWindowPos(hintLabel_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ShowWindow(hintLabel_, description_.hintLabel.visible ? SW_SHOWNA : SW_HIDE);

    // The WM_MOVE and WM_SIZE of creation are handled here, still suspended.
    drainQueue();
    --eventsSuspended_;

    if (reactionsLive()) reactions_->handleCreated();
    if (IsWindow(mainWindow_) && reactionsLive()) reactions_->handlePositionChanged();
    // The size-changed event would be raised here; nothing listens to it.
    if (IsWindow(mainWindow_) && mainVisible_) ShowWindow(mainWindow_, SW_SHOW);
}

HWND WindowHost::createMainWindow() {
    registerClassOnce(kMainWindowClass, &WindowHost::mainWindowProc, &GetClassInfoA, &RegisterClassA);
    const MainWindowDescription& d = description_.mainWindow;
    // The whole primary screen counts, not the work area; the design position
    // is not consulted.
    const ScreenPoint origin =
        centredOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), d.width, d.height);
    HWND hwnd = CreateWindowExA(0, kMainWindowClass, d.title, kMainWindowStyle, origin.x, origin.y, d.width,
                                d.height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (hwnd == nullptr) return nullptr;

    // Windows may enlarge a window to its minimum tracking size; the outer
    // size is put back only when it really differs.
    RECT rc;
    if (GetWindowRect(hwnd, &rc) && (rc.right - rc.left != d.width || rc.bottom - rc.top != d.height)) {
        MoveWindow(hwnd, origin.x, origin.y, d.width, d.height, TRUE);
    }

    // A restarted taskbar announces itself with this broadcast. It comes from
    // the shell, which runs with less privilege than a program started as
    // administrator, so it is let through to this window explicitly.
    taskbarCreatedMessage_ = RegisterWindowMessageA("TaskbarCreated");
    if (taskbarCreatedMessage_ != 0 && allowMessage_ != nullptr) {
        allowMessage_(hwnd, taskbarCreatedMessage_, kMessageFilterAllow, nullptr);
    }

    const SharedIcons& icons = sharedIcons();
    SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icons.bigIcon));
    SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icons.smallIcon));
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    return hwnd;
}

HWND WindowHost::createHintLabel(HWND parent) {
    registerClassOnce(kHintLabelClass, &WindowHost::hintLabelProc, &GetClassInfoW, &RegisterClassW);
    const LabelDescription& d = description_.hintLabel;
    const WideText text(d.text);
    return CreateWindowExW(0, kHintLabelClass, text.text(), kHintLabelStyle, d.left, d.top, d.width, d.height,
                           parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(d.controlId)),
                           GetModuleHandleW(nullptr), nullptr);
}

void WindowHost::runMessageLoop() {
    loopStarted_ = true;
    if (!IsWindow(mainWindow_)) return;
    for (;;) {
        // The loop has no idle work; GetMessageA blocks until there is a
        // message.
        MSG msg;
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        // -1 only comes with an invalid window filter, which this call does
        // not have; ending the loop beats spinning on it.
        if (got == 0 || got == -1) break;
        handleMessage(msg);
    }
    // Shutdown: whatever still arrives reaches no reaction.
    ++eventsSuspended_;
}

void WindowHost::drainQueue() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) && msg.message != WM_QUIT) {
        // Fetched without blocking: should the queue have changed between the
        // look and the fetch, the drain simply ends.
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) break;
        if (msg.message == WM_QUIT) {
            // The quit request stays for the loop that owns it.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        handleMessage(msg);
    }
}

void WindowHost::handleMessage(MSG& msg) {
    if (closesOnEscape(msg)) {
        // The key message is consumed: neither translated nor dispatched.
        SendMessageA(mainWindow_, WM_CLOSE, 0, 0);
        return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

// The Esc key closes the main window while it or one of its children has the
// keyboard; Ctrl, Shift or Alt held leaves the key to the window.
bool WindowHost::closesOnEscape(const MSG& msg) {
    if (!description_.mainWindow.closeOnEscape) return false;
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
    if (mainWindow_ == nullptr || msg.hwnd == nullptr) return false;
    if (msg.hwnd != mainWindow_ && !IsChild(mainWindow_, msg.hwnd)) return false;
    if (!IsWindowEnabled(msg.hwnd)) return false;
    if ((msg.wParam & 0xFF) != VK_ESCAPE) return false;
    return !keyIsDown(VK_CONTROL) && !keyIsDown(VK_SHIFT) && !keyIsDown(VK_MENU);
}

HWND WindowHost::requireWindow(HWND hwnd) {
    if (hwnd == nullptr || !IsWindow(hwnd)) fail(kNoSuchWindowText);
    return hwnd;
}

HWND WindowHost::mainWindowHandle() { return requireWindow(mainWindow_); }

HWND WindowHost::hintLabelHandle() { return requireWindow(hintLabel_); }

WindowPosition WindowHost::windowPosition() {
    if (IsIconic(mainWindow_)) return WindowPosition::Minimized;
    if (IsZoomed(mainWindow_)) return WindowPosition::Maximized;
    return WindowPosition::Normal;
}

void WindowHost::setWindowVisible(bool visible) {
    mainVisible_ = visible;
    // SW_SHOW keeps the window's state: one hidden while minimised comes back
    // minimised, as a taskbar button.
    ShowWindow(mainWindow_, visible ? SW_SHOW : SW_HIDE);
}

void WindowHost::destroyWindow() {
    HWND hwnd = requireWindow(mainWindow_);
    destroyPending_ = true;
    // Deferred through the queue, so that the caller (typically the tray
    // callback) has returned before the window and the tray icon go.
    PostMessageA(hwnd, kDestroyRequestMessage, 0, 0);
}

void WindowHost::fail(const char* text) {
    // The message box runs a modal loop that still dispatches to a window
    // already created; nothing of that may reach the controller.
    ++eventsSuspended_;
    const WideText caption(kErrorCaption);
    const WideText message(text);
    MessageBoxW(nullptr, message.text(), caption.text(), MB_ICONERROR);
    ExitProcess(static_cast<UINT>(-1));
}

LRESULT CALLBACK WindowHost::mainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowHost* host = current_;
    if (host == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    // A registered message has its number only at run time, so it cannot be
    // a case of the switch.
    if (message == host->taskbarCreatedMessage_ && message != 0) return host->onTaskbarCreated();
    switch (message) {
    case WM_PAINT:
        host->paintMainWindow(hwnd);
        return 0;
    case WM_MOVE:
        return host->onMove(hwnd, wParam, lParam);
    case WM_CLOSE:
        return host->onClose(hwnd, wParam, lParam);
    case WM_DESTROY:
        return host->onDestroy(hwnd, wParam, lParam);
    case WM_NCDESTROY:
        return host->onMainNcDestroy(hwnd, wParam, lParam);
    case kDestroyRequestMessage:
        return host->onDestroyRequest();
    case kTrayCallbackMessage:
        return host->onTrayCallback(wParam, lParam);
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK WindowHost::hintLabelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowHost* host = current_;
    if (host == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_PAINT:
        host->paintHintLabel(hwnd);
        return 0;
    case kHotKeyNotifyMessage:
        return host->onHotKeyNotify(wParam, lParam);
    case WM_NCDESTROY:
        return host->onLabelNcDestroy(hwnd, wParam, lParam);
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT WindowHost::onMove(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    // The reaction reads the new state, so Windows finishes the move first.
    LRESULT result = DefWindowProcA(hwnd, WM_MOVE, wParam, lParam);
    if (hwnd == mainWindow_ && reactionsLive()) reactions_->handlePositionChanged();
    return result;
}

LRESULT WindowHost::onClose(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    // Nothing may refuse to close; the default processing destroys the window.
    return DefWindowProcA(hwnd, WM_CLOSE, wParam, lParam);
}

LRESULT WindowHost::onDestroy(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    LRESULT result = DefWindowProcA(hwnd, WM_DESTROY, wParam, lParam);
    if (IsWindow(hwnd)) {
        if (HMENU menu = GetMenu(hwnd)) {
            SetMenu(hwnd, nullptr);
            DestroyMenu(menu);
        }
        // Last of all, so that the icon is gone with the window it reports to.
        if (tray_ != nullptr && hwnd == mainWindow_) tray_->removeTrayIcon();
    }
    return result;
}

LRESULT WindowHost::onMainNcDestroy(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    LRESULT result = DefWindowProcA(hwnd, WM_NCDESTROY, wParam, lParam);
    if (hwnd == mainWindow_) mainWindow_ = nullptr;
    // A window lost while it is still being loaded ends nothing: the loop
    // that would receive the quit request has not started.
    if (mainWindow_ == nullptr && hintLabel_ == nullptr && loopStarted_) PostQuitMessage(0);
    return result;
}

LRESULT WindowHost::onLabelNcDestroy(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    LRESULT result = DefWindowProcW(hwnd, WM_NCDESTROY, wParam, lParam);
    if (hwnd == hintLabel_) hintLabel_ = nullptr;
    return result;
}

LRESULT WindowHost::onDestroyRequest() {
    // A request without a pending destroyWindow (a repeat, or one posted by
    // another program) is ignored.
    if (!destroyPending_) return 0;
    destroyPending_ = false;
    DestroyWindow(mainWindow_);
    return 0;
}

LRESULT WindowHost::onTrayCallback(WPARAM wParam, LPARAM lParam) {
    // The tray turns the callback into a reaction, so it is held back while
    // reactions are suspended like every other event.
    if (tray_ != nullptr && eventsSuspended_ == 0) tray_->onTrayCallback(wParam, lParam);
    return 0;
}

LRESULT WindowHost::onTaskbarCreated() {
    // A restarted taskbar comes back with an empty notification area. While
    // the window is tucked away its icon is the user's only way back to it,
    // so the icon goes to the new shell at once; should the new shell refuse
    // it, the window comes back as a taskbar button rather than stay out of
    // reach. While the window is on the screen nothing is done: the icon is
    // still believed shown, so the next minimise modifies it, which the new
    // shell refuses, and the add that a refused modify gets brings it back.
    if (tray_ == nullptr || mainVisible_ || eventsSuspended_ != 0) return 0;
    if (!tray_->addAgain()) setWindowVisible(true);
    return 0;
}

LRESULT WindowHost::onHotKeyNotify(WPARAM wParam, LPARAM lParam) {
    if (reactionsLive()) {
        reactions_->handleHotKey(static_cast<std::int32_t>(wParam), static_cast<std::int32_t>(lParam));
    }
    return 0;
}

void WindowHost::paintMainWindow(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT clip;
    if (dc != nullptr && GetClipBox(dc, &clip) != ERROR && !IsRectEmpty(&clip)) {
        HRGN region = CreateRectRgn(clip.left, clip.top, clip.right, clip.bottom);
        // Read at paint time, so a changed system colour shows at the next paint.
        HBRUSH brush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
        FillRgn(dc, region, brush);
        DeleteObject(brush);
        DeleteObject(region);
    }
    EndPaint(hwnd, &ps);
}

void WindowHost::paintHintLabel(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT clip;
    if (dc == nullptr || GetClipBox(dc, &clip) == ERROR || IsRectEmpty(&clip)) {
        EndPaint(hwnd, &ps);
        return;
    }
    RECT rc;
    GetClientRect(hwnd, &rc);
    RECT area;
    IntersectRect(&area, &clip, &rc);
    // The clipping region keeps a text wider than the label inside it;
    // DrawTextA itself does not clip.
    HRGN region = CreateRectRgn(area.left, area.top, area.right, area.bottom);
    SelectClipRgn(dc, region);
    HBRUSH brush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    FillRgn(dc, region, brush);
    DeleteObject(brush);

    // The text as the label keeps it, in UTF-16.
    wchar_t buffer[256];
    wchar_t* text = buffer;
    int capacity = sizeof buffer / sizeof buffer[0];
    const int wanted = GetWindowTextLengthW(hwnd) + 1;
    if (wanted > capacity) {
        text = static_cast<wchar_t*>(LocalAlloc(LMEM_FIXED, sizeof(wchar_t) * static_cast<SIZE_T>(wanted)));
        capacity = text != nullptr ? wanted : 0;
    }
    const int length = capacity > 0 ? GetWindowTextW(hwnd, text, capacity) : 0;
    if (length > 0) {
        // The stock font belongs to the system: selected, never created or
        // deleted, and the previous font is put back.
        HGDIOBJ previousFont = GetCurrentObject(dc, OBJ_FONT);
        SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, kLabelTextColor);
        DrawTextW(dc, text, length, &rc, kLabelTextFormat);
        SelectObject(dc, previousFont);
    }
    if (text != buffer && text != nullptr) LocalFree(text);

    DeleteObject(region);
    EndPaint(hwnd, &ps);
}
