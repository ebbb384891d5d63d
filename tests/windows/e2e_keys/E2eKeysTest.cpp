#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "LowLevelKeyRecorder.h"

namespace {

const char kCaption[] = "Morvaleth quendrix";

// The program as a user starts it, by the path CTest hands over (a Unix path,
// which Wine reaches through drive Z:).
struct Program {
    PROCESS_INFORMATION info = {};
    HWND window = nullptr;
};

std::string programPath() {
    const char* unixPath = std::getenv("TOLVANE_EXE");
    if (unixPath == nullptr) return {};
    std::string path = std::string("Z:") + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

struct FindData {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK findWindowOf(HWND hwnd, LPARAM lParam) {
    auto* data = reinterpret_cast<FindData*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char caption[64] = {};
    GetWindowTextA(hwnd, caption, sizeof caption);
    if (pid == data->processId && std::string(caption) == kCaption) {
        data->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Starts the program and waits until its window is shown: the hot key is
// registered before that.
bool startProgram(Program& program) {
    std::string commandLine = "\"" + programPath() + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &program.info)) {
        return false;
    }
    const ULONGLONG end = GetTickCount64() + 20000;
    while (GetTickCount64() < end) {
        FindData data = {program.info.dwProcessId, nullptr};
        EnumWindows(&findWindowOf, reinterpret_cast<LPARAM>(&data));
        if (data.found != nullptr && IsWindowVisible(data.found)) {
            program.window = data.found;
            return true;
        }
        if (WaitForSingleObject(program.info.hProcess, 50) == WAIT_OBJECT_0) return false;
    }
    return false;
}

void stopProgram(Program& program) {
    if (program.info.hProcess == nullptr) return;
    if (program.window != nullptr) PostMessageA(program.window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(program.info.hProcess, 5000) != WAIT_OBJECT_0) {
        TerminateProcess(program.info.hProcess, 1);
        WaitForSingleObject(program.info.hProcess, 5000);
    }
    CloseHandle(program.info.hThread);
    CloseHandle(program.info.hProcess);
    program = Program{};
}

void sendKey(WORD vk, DWORD flags) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = flags;
    SendInput(1, &in, sizeof in);
}

bool isCtrl(DWORD vk) { return vk == VK_CONTROL || vk == VK_LCONTROL; }

// The events the program injected: everything but the test's own key.
std::vector<LowLevelKeyRecorder::Event> programEvents(const std::vector<LowLevelKeyRecorder::Event>& all) {
    std::vector<LowLevelKeyRecorder::Event> out;
    for (const auto& e : all)
        if (e.virtualKey != VK_OEM_3) out.push_back(e);
    return out;
}

// One program for the whole suite: the direction alternates across all its
// presses, so the suite keeps count of them.
class HotKeyEndToEndTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        QueryPerformanceFrequency(&frequency);
        recorder = new LowLevelKeyRecorder();
        started = startProgram(program);
    }
    static void TearDownTestSuite() {
        stopProgram(program);
        delete recorder;
        recorder = nullptr;
        releaseHeldKeys({VK_CONTROL, VK_LCONTROL, VK_LWIN, VK_RIGHT, VK_LEFT, VK_OEM_3});
        if (!latenciesMs.empty()) {
            std::vector<double> sorted = latenciesMs;
            std::sort(sorted.begin(), sorted.end());
            std::cout << "press-to-first-injected-event over " << sorted.size() << " presses: p50 "
                      << sorted[(sorted.size() - 1) / 2] << " ms, max " << sorted.back() << " ms; in order:";
            for (double ms : latenciesMs) std::cout << " " << ms;
            std::cout << std::endl;
        }
    }
    void SetUp() override {
        ASSERT_TRUE(recorder->installed());
        ASSERT_TRUE(started) << "the program did not start or show its window: " << programPath();
    }

    // Presses the hot key once and checks that exactly one chord of six
    // events follows, Right on even presses and Left on odd ones. `quietMs`
    // is how long to watch for a second, unwanted chord.
    void pressAndExpectOneChord(DWORD quietMs) {
        const DWORD arrow = (pressCount % 2 == 0) ? VK_RIGHT : VK_LEFT;
        SCOPED_TRACE("press " + std::to_string(pressCount) + (arrow == VK_RIGHT ? " (Right)" : " (Left)"));
        ++pressCount;
        recorder->clear();
        LARGE_INTEGER pressed;
        QueryPerformanceCounter(&pressed);
        sendKey(VK_OEM_3, 0);
        sendKey(VK_OEM_3, KEYEVENTF_KEYUP);
        ASSERT_TRUE(recorder->waitFor([](const auto& all) { return programEvents(all).size() >= 6; }, 5000))
            << "the program injected " << programEvents(recorder->events()).size() << " events";
        Sleep(quietMs);
        const auto events = programEvents(recorder->events());
        ASSERT_EQ(events.size(), 6u) << "more than one chord for one press";

        const DWORD keys[6] = {VK_CONTROL, VK_LWIN, arrow, VK_CONTROL, VK_LWIN, arrow};
        for (int i = 0; i < 6; ++i) {
            SCOPED_TRACE("event " + std::to_string(i));
            if (keys[i] == VK_CONTROL) {
                EXPECT_TRUE(isCtrl(events[i].virtualKey)) << events[i].virtualKey;
            } else {
                EXPECT_EQ(events[i].virtualKey, keys[i]);
            }
            EXPECT_TRUE(events[i].flags & LLKHF_INJECTED);
            EXPECT_EQ((events[i].flags & LLKHF_UP) != 0, i >= 3);
        }
        latenciesMs.push_back(double(events[0].counter - pressed.QuadPart) * 1000.0 / double(frequency.QuadPart));
    }

    static inline LowLevelKeyRecorder* recorder = nullptr;
    static inline Program program;
    static inline bool started = false;
    static inline int pressCount = 0;
    static inline LARGE_INTEGER frequency = {};
    static inline std::vector<double> latenciesMs;
};

TEST_F(HotKeyEndToEndTest, PressesGiveAlternatingChords) {
    for (int i = 0; i < 6; ++i) {
        pressAndExpectOneChord(150);
        if (HasFatalFailure()) return;
    }
}

TEST_F(HotKeyEndToEndTest, TheHotKeyWorksWhileTheWindowIsInTheNotificationArea) {
    PostMessageA(program.window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    // Under Wine on a display without a window manager, hiding a window
    // blocks the program for about two seconds (the X11 driver waits for the
    // window to be withdrawn); a press made then waits in its queue.
    recorder->waitFor([](const auto&) { return !IsWindowVisible(program.window); }, 5000);
    ASSERT_FALSE(IsWindowVisible(program.window)) << "minimising did not hide the window";
    EXPECT_TRUE(IsIconic(program.window));
    for (int i = 0; i < 4; ++i) {
        pressAndExpectOneChord(150);
        if (HasFatalFailure()) return;
    }
}

TEST_F(HotKeyEndToEndTest, ASecondInstanceDoesNotDoubleTheChord) {
    Program second;
    ASSERT_TRUE(startProgram(second));
    for (int i = 0; i < 4; ++i) {
        pressAndExpectOneChord(400);
        if (HasFatalFailure()) break;
    }
    stopProgram(second);
    // The first instance keeps the key after the second has gone.
    if (!HasFatalFailure()) pressAndExpectOneChord(150);
}

}  // namespace
