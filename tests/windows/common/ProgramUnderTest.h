#pragma once

// What the end-to-end tests need to drive the built program from another
// process as a user would: start it, find its window, click its caption
// buttons and its notification-area icon, press keys, and see how it ends.
// Header-only, so that each test binary takes just what it uses.

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "MessagePump.h"

namespace e2e {

inline constexpr char kCaption[] = "Morvaleth quendrix";
inline constexpr UINT kTrayCallback = 0x8064;  // the shell's callback message to the main window
inline constexpr WPARAM kTrayIconId = 100;
inline constexpr DWORD kStillRunning = STILL_ACTIVE;

// A Unix path as a Windows program under Wine reaches it: through drive Z:.
inline std::string windowsPathOf(const char* unixPath) {
    std::string path = std::string("Z:") + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// The built program by the path CTest hands over (a Unix path).
inline std::string programPath() {
    const char* unixPath = std::getenv("TOLVANE_EXE");
    if (unixPath == nullptr) return {};
    return windowsPathOf(unixPath);
}

inline bool runningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// What forEachTopLevelWindowOf hands EnumWindows: the process and the visitor.
template <typename Visit>
struct TopLevelSearch {
    DWORD processId;
    Visit* visit;

    // A Windows callback: stdcall on x86, so a named function, never a lambda.
    static BOOL CALLBACK visitOne(HWND hwnd, LPARAM lParam) {
        auto* s = reinterpret_cast<TopLevelSearch*>(lParam);
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        if (pid != s->processId) return TRUE;
        return (*s->visit)(hwnd) ? TRUE : FALSE;
    }
};

// Visits the top-level windows of a process in Z order until `visit(hwnd)`
// gives false.
template <typename Visit>
void forEachTopLevelWindowOf(DWORD processId, Visit visit) {
    TopLevelSearch<Visit> search{processId, &visit};
    EnumWindows(&TopLevelSearch<Visit>::visitOne, reinterpret_cast<LPARAM>(&search));
}

// The first top-level window of a process that `matches`, or null.
template <typename Matches>
HWND findTopLevelWindowOf(DWORD processId, Matches matches) {
    HWND found = nullptr;
    forEachTopLevelWindowOf(processId, [&](HWND hwnd) {
        if (!matches(hwnd)) return true;
        found = hwnd;
        return false;
    });
    return found;
}

inline bool hasCaption(HWND hwnd, const char* caption) {
    char text[64] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return std::string(text) == caption;
}

// The visible top-level windows of a process.
inline std::vector<HWND> visibleTopLevelWindowsOf(DWORD processId) {
    std::vector<HWND> found;
    forEachTopLevelWindowOf(processId, [&](HWND hwnd) {
        if (IsWindowVisible(hwnd)) found.push_back(hwnd);
        return true;
    });
    return found;
}

// One run of the program, started as a user starts it and made sure to be
// gone when the object goes.
class ProgramUnderTest {
public:
    ProgramUnderTest() = default;
    ProgramUnderTest(const ProgramUnderTest&) = delete;
    ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;
    ~ProgramUnderTest() {
        if (info_.hProcess == nullptr) return;
        if (WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, 5000);
        }
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }

    // Starts the program and waits until its window is shown; the hot key is
    // registered before that. The program ignores its command line, so a
    // marker there is harmless; null `arguments` start it exactly as the
    // shell does.
    bool start(DWORD timeoutMs = 20000, const char* arguments = "e2e-run") {
        std::string commandLine = "\"" + programPath() + "\"";
        if (arguments != nullptr) commandLine += std::string(" ") + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &info_)) {
            return false;
        }
        waitUntil(
            [&] {
                window_ = findMainWindow();
                return (window_ != nullptr && IsWindowVisible(window_)) ||
                       WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0;
            },
            timeoutMs);
        return window_ != nullptr && IsWindowVisible(window_);
    }

    // Whether the process was created at all, whatever became of it.
    bool started() const { return info_.hProcess != nullptr; }
    HWND window() const { return window_; }
    HANDLE process() const { return info_.hProcess; }
    DWORD processId() const { return info_.dwProcessId; }
    bool running() const { return info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

    // The exit code, or kStillRunning when the program has not ended in time.
    DWORD waitForExit(DWORD timeoutMs) const {
        WaitForSingleObject(info_.hProcess, timeoutMs);
        DWORD code = kStillRunning;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

    // Sends a message to the main window and waits for the program to have
    // handled it; false when it did not in time.
    bool deliver(UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs = 5000) const {
        DWORD_PTR result = 0;
        return SendMessageTimeoutA(window_, message, wParam, lParam, SMTO_ABORTIFHUNG, timeoutMs, &result) != 0;
    }

    // Whether the program answers a message within the time: its message
    // loop is alive and not stuck.
    bool responsive(DWORD timeoutMs = 5000) const { return deliver(WM_NULL, 0, 0, timeoutMs); }

    // Asks the program to end as its window's close does, and ends it by
    // force when it has not within the time.
    void close(DWORD timeoutMs = 5000) {
        if (info_.hProcess == nullptr) return;
        if (window_ != nullptr) PostMessageA(window_, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
            TerminateProcess(info_.hProcess, 1);
            WaitForSingleObject(info_.hProcess, 5000);
        }
    }

    // The program's working set in bytes; 0 when the system does not say.
    SIZE_T workingSet() const {
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof counters;
        if (!K32GetProcessMemoryInfo(info_.hProcess, &counters, sizeof counters)) return 0;
        return counters.WorkingSetSize;
    }

private:
    HWND findMainWindow() const {
        return findTopLevelWindowOf(info_.dwProcessId, [](HWND hwnd) { return hasCaption(hwnd, kCaption); });
    }

    PROCESS_INFORMATION info_ = {};
    HWND window_ = nullptr;
};

// ------------------------------------------------------------ keyboard

inline void sendKey(WORD vk, DWORD flags) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = flags;
    SendInput(1, &in, sizeof in);
}

// Presses the keys in order and releases them in reverse.
inline void pressChord(std::initializer_list<WORD> keys) {
    for (WORD vk : keys) sendKey(vk, 0);
    for (auto it = std::rbegin(keys); it != std::rend(keys); ++it) sendKey(*it, KEYEVENTF_KEYUP);
}

// Keys go to the foreground window. A window that was just shown may still be
// settling (Wine's X11 driver reports focus changes from the X server with a
// delay), so it must stay in front for a while before keys are sent.
inline bool bringToFront(HWND hwnd) {
    int steady = 0;
    for (int i = 0; i < 40 && steady < 3; ++i) {
        if (GetForegroundWindow() != hwnd) {
            steady = 0;
            SetForegroundWindow(hwnd);
        } else {
            ++steady;
        }
        Sleep(100);
    }
    return steady >= 3;
}

// ------------------------------------------------------------ mouse

inline void mouseButtons(std::initializer_list<DWORD> flags) {
    std::vector<INPUT> inputs;
    for (DWORD f : flags) {
        INPUT in = {};
        in.type = INPUT_MOUSE;
        in.mi.dwFlags = f;
        inputs.push_back(in);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

inline void moveCursorTo(POINT at) {
    SetCursorPos(at.x, at.y);
    Sleep(100);
}

// A screen point of `window` whose hit test gives `hitCode` (HTCLOSE,
// HTMINBUTTON...), asked of the window itself as the mouse would; false when
// none is found. The window's owner answers WM_NCHITTEST as it draws its
// frame, so the point is where the user sees the button.
inline bool findHitPoint(HWND window, LRESULT hitCode, POINT& at) {
    RECT rect;
    if (!GetWindowRect(window, &rect)) return false;
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.right - 1; x >= rect.left; --x) {
            DWORD_PTR hit = 0;
            if (!SendMessageTimeoutA(window, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, 2000, &hit))
                return false;
            if (static_cast<LRESULT>(hit) == hitCode) {
                // The middle of the button's row, a few pixels in, is safe
                // from its edges.
                at = {x - 3, y + 3};
                return true;
            }
        }
    }
    return false;
}

inline bool clickCaptionButton(HWND window, LRESULT hitCode) {
    POINT at;
    if (!findHitPoint(window, hitCode, at)) return false;
    moveCursorTo(at);
    mouseButtons({MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP});
    return true;
}

// ------------------------------------------------------------ notification area
//
// Without a tray manager on the X display, Wine shows notification-area icons
// in a top-level window of its own, one visible child per icon; the shell
// posts the mouse messages made on such a child to the icon's owner window.
// The tests run one program at a time, so the icons that appear while it runs
// are its own.

inline constexpr char kStandaloneTrayClass[] = "__winex11_standalone_tray";
inline constexpr char kTrayIconWindowClass[] = "__winex11_tray_icon";

inline std::vector<HWND> shownTrayIcons() {
    std::vector<HWND> icons;
    HWND tray = FindWindowA(kStandaloneTrayClass, nullptr);
    if (tray == nullptr) return icons;
    for (HWND child = FindWindowExA(tray, nullptr, kTrayIconWindowClass, nullptr); child != nullptr;
         child = FindWindowExA(tray, child, kTrayIconWindowClass, nullptr)) {
        if (IsWindowVisible(child)) icons.push_back(child);
    }
    return icons;
}

// The icon in `now` that is not in `before`, or null.
inline HWND newTrayIcon(const std::vector<HWND>& before, const std::vector<HWND>& now) {
    for (HWND w : now)
        if (std::find(before.begin(), before.end(), w) == before.end()) return w;
    return nullptr;
}

inline POINT centreOf(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

inline void doubleClickOn(HWND iconWindow) {
    moveCursorTo(centreOf(iconWindow));
    mouseButtons({MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP});
}

inline void rightClickOn(HWND iconWindow) {
    moveCursorTo(centreOf(iconWindow));
    mouseButtons({MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP});
}

// ------------------------------------------------------------ Wine settings

// Sets one value of Wine's X11 driver for the executables named, while the
// object lives; the earlier value, or its absence, is put back afterwards.
// Wine reads these when a process starts, so they must be set before the
// program is. On Windows nothing reads them and nothing is written.
//
// Two settings matter on an X display without a window manager:
// - "Decorated" "N": Wine draws the caption and frame itself. Otherwise it
//   leaves them to a window manager that is not there, the X window covers
//   only the client area, and the caption buttons cannot be clicked.
// - "Managed" "N": Wine does not wait, about two seconds on every hide, for
//   a window manager that never answers. The Windows side of showing, hiding
//   and minimising is the same either way, so the tests that cycle the
//   window hundreds of times use it.
class WineX11Setting {
public:
    WineX11Setting(std::initializer_list<const char*> exeNames, const char* name, const char* value) : name_(name) {
        if (!runningUnderWine()) return;
        for (const char* exe : exeNames) {
            const std::string path = std::string("Software\\Wine\\AppDefaults\\") + exe + "\\X11 Driver";
            HKEY key = nullptr;
            if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                                nullptr) != ERROR_SUCCESS) {
                continue;
            }
            Saved saved{path, false, {}};
            char old[64] = {};
            DWORD size = sizeof old - 1, type = 0;
            if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS &&
                type == REG_SZ) {
                saved.existed = true;
                saved.value = old;
            }
            RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                           static_cast<DWORD>(std::strlen(value) + 1));
            RegCloseKey(key);
            saved_.push_back(saved);
        }
    }
    ~WineX11Setting() {
        for (const Saved& s : saved_) {
            HKEY key = nullptr;
            if (RegOpenKeyExA(HKEY_CURRENT_USER, s.path.c_str(), 0, KEY_WRITE, &key) != ERROR_SUCCESS) continue;
            if (s.existed) {
                RegSetValueExA(key, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(s.value.c_str()),
                               static_cast<DWORD>(s.value.size() + 1));
            } else {
                RegDeleteValueA(key, name_.c_str());
            }
            RegCloseKey(key);
        }
    }
    WineX11Setting(const WineX11Setting&) = delete;
    WineX11Setting& operator=(const WineX11Setting&) = delete;

private:
    struct Saved {
        std::string path;
        bool existed;
        std::string value;
    };
    std::string name_;
    std::vector<Saved> saved_;
};

}  // namespace e2e
