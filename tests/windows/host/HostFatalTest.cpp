// The fatal paths end the process, so each runs in a child process: this
// binary restarted with --child=<mode>. The parent finds the message box,
// reads its bytes, presses OK and checks the exit code.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "HostTestSupport.h"
#include "ProgramUnderTest.h"
#include "app/WindowDescription.h"

namespace {

// Child side ------------------------------------------------------------

// Any reaction in a child that should fail before reacting ends it with a
// code the parent recognises.
class FailOnReaction final : public AppReactions {
public:
    void handleCreated() override { ExitProcess(7); }
    void handlePositionChanged() override { ExitProcess(7); }
    void handleTrayAction(std::int32_t) override { ExitProcess(7); }
    void handleHotKey(std::int32_t, std::int32_t) override { ExitProcess(7); }
};

HHOOK cbtHook = nullptr;
bool vetoChild = false;

// Refuses the first window of the chosen kind, then steps aside so that the
// message box itself can be created.
LRESULT CALLBACK vetoCreation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const CBT_CREATEWNDA* cw = reinterpret_cast<const CBT_CREATEWNDA*>(lParam);
        const bool isChild = (cw->lpcs->style & WS_CHILD) != 0;
        if (isChild == vetoChild) {
            UnhookWindowsHookEx(cbtHook);
            return 1;
        }
    }
    return CallNextHookEx(cbtHook, code, wParam, lParam);
}

}  // namespace

int runChildMode(const char* mode) {
    static FailOnReaction reactions;
    static WindowHost host;
    host.bind(&reactions, nullptr);
    const std::string m = mode;
    if (m == "veto-main" || m == "veto-label") {
        vetoChild = (m == "veto-label");
        cbtHook = SetWindowsHookExA(WH_CBT, &vetoCreation, nullptr, GetCurrentThreadId());
        host.startHost();
        host.loadMainWindow();
        return 3;  // not reached when the host fails as it should
    }
    if (m == "label-before-load") {
        host.startHost();
        host.hintLabelHandle();
        return 3;
    }
    if (m == "main-before-load") {
        host.startHost();
        host.mainWindowHandle();
        return 3;
    }
    if (m == "destroy-after-gone" || m == "main-after-gone") {
        // Reactions may run here: the window is loaded normally first.
        static EventLog log;
        host.bind(&log, &log);
        host.startHost();
        host.loadMainWindow();
        DestroyWindow(log.owner);
        if (m == "destroy-after-gone") {
            host.destroyWindow();
        } else {
            host.mainWindowHandle();
        }
        return 3;
    }
    return 4;
}

namespace {

// Parent side -----------------------------------------------------------

struct BoxTexts {
    std::string statics;    // every static text of the box, joined with '|', ANSI
    std::wstring wide;      // the same read through the wide functions
    bool hasIcon = false;
};

BOOL CALLBACK collectStatics(HWND hwnd, LPARAM lParam) {
    BoxTexts* texts = reinterpret_cast<BoxTexts*>(lParam);
    char cls[16] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (_stricmp(cls, "Static") != 0) return TRUE;
    if ((GetWindowLongA(hwnd, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        texts->hasIcon = true;
        return TRUE;
    }
    char text[256] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    if (!texts->statics.empty()) texts->statics += "|";
    texts->statics += text;
    wchar_t wide[256] = {};
    GetWindowTextW(hwnd, wide, 256);
    if (!texts->wide.empty()) texts->wide += L"|";
    texts->wide += wide;
    return TRUE;
}

struct FatalCase {
    const char* mode;
    const char* text;
    const wchar_t* wideText;
};

class FatalPathTest : public ::testing::TestWithParam<FatalCase> {};

TEST_P(FatalPathTest, ShowsTheErrorBoxAndExitsWithMinusOne) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string command = std::string("\"") + self + "\" --child=" + GetParam().mode;
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));

    HWND box = nullptr;
    for (int i = 0; i < 200 && box == nullptr; ++i) {
        if (WaitForSingleObject(pi.hProcess, 50) == WAIT_OBJECT_0) break;
        box = e2e::findTopLevelWindowOf(pi.dwProcessId, [](HWND hwnd) {
            char cls[16] = {};
            GetClassNameA(hwnd, cls, sizeof cls);
            return std::strcmp(cls, "#32770") == 0 && IsWindowVisible(hwnd);
        });
    }
    if (box == nullptr) {
        TerminateProcess(pi.hProcess, 99);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        FAIL() << "no message box; the child ended with " << code;
    }

    // The box reads the same through the wide functions whatever the ANSI
    // code page; where it is 936 the ANSI forms give the same bytes as ever.
    wchar_t wideCaption[64] = {};
    GetWindowTextW(box, wideCaption, 64);
    EXPECT_EQ(std::wstring(wideCaption), kErrorCaptionW);
    BoxTexts texts;
    EnumChildWindows(box, &collectStatics, reinterpret_cast<LPARAM>(&texts));
    EXPECT_EQ(texts.wide, GetParam().wideText);
    if (ansiCodePageIs936()) {
        char caption[64] = {};
        GetWindowTextA(box, caption, sizeof caption);
        EXPECT_EQ(std::string(caption), kErrorCaption);
        EXPECT_EQ(texts.statics, GetParam().text);
    }
    EXPECT_TRUE(texts.hasIcon);
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr) << "the box has no owner window";

    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0xFFFFFFFFu);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

INSTANTIATE_TEST_SUITE_P(Modes, FatalPathTest,
                         ::testing::Values(FatalCase{"veto-main", kLoadFailedText, kLoadFailedTextW},
                                           FatalCase{"veto-label", kLoadFailedText, kLoadFailedTextW},
                                           FatalCase{"label-before-load", kNoSuchWindowText, kNoSuchWindowTextW},
                                           FatalCase{"main-before-load", kNoSuchWindowText, kNoSuchWindowTextW},
                                           FatalCase{"main-after-gone", kNoSuchWindowText, kNoSuchWindowTextW},
                                           FatalCase{"destroy-after-gone", kNoSuchWindowText, kNoSuchWindowTextW}),
                         [](const ::testing::TestParamInfo<FatalCase>& info) {
                             std::string name;
                             for (const char* p = info.param.mode; *p; ++p) {
                                 if (*p != '-') name += *p;
                             }
                             return name;
                         });

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--child=", 8) == 0) return runChildMode(argv[i] + 8);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
