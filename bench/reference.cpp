// The yardstick: the least Windows program that does the same job as
// tolvane.exe. One window, the bare VK_OEM_3 hot key, six keybd_event calls
// per press, alternating Right and Left. It is built with the product's
// compiler and linker flags, so that what separates the two is the
// product's own code.

#include <windows.h>

namespace {

bool switchedRight = false;

void sendChord(BYTE arrow) {
    keybd_event(VK_CONTROL, 0, 0, 0);
    keybd_event(VK_LWIN, 0, 0, 0);
    keybd_event(arrow, 0, 0, 0);
    keybd_event(VK_CONTROL, 0, KEYEVENTF_KEYUP, 0);
    keybd_event(VK_LWIN, 0, KEYEVENTF_KEYUP, 0);
    keybd_event(arrow, 0, KEYEVENTF_KEYUP, 0);
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_HOTKEY:
        sendChord(switchedRight ? VK_LEFT : VK_RIGHT);
        switchedRight = !switchedRight;
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = "TolvaneReference";
    if (!RegisterClassA(&windowClass)) return -1;

    // The same outer size and frame as the product's window, centred.
    const int width = 284, height = 50;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    HWND hwnd = CreateWindowExA(0, windowClass.lpszClassName, "Morvaleth quendrix",
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX, x, y,
                                width, height, nullptr, nullptr, instance, nullptr);
    if (!hwnd) return -1;
    RegisterHotKey(hwnd, 1, 0, VK_OEM_3);
    ShowWindow(hwnd, SW_SHOW);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
