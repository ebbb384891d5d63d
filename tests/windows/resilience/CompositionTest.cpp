// The program assembled in this process exactly as WinMain assembles it
// (controller, window host, hot key service, key chord injector, tray icon),
// with two seams: the shell call goes to a recorder, and the key events are
// recorded instead of typed. A driver thread then works the real main window
// through real window messages, as the minimise button and the shell do, for
// hundreds of cycles. In-process, every icon handle can be checked: Wine
// counts no GDI or USER objects per process, so a leak is proved by the
// handles themselves, and by counting every icon made and destroyed.
//
// These tests run in a child process of this binary (see
// CompositionInAChild below), started with Wine's window management off for
// it, because every hide of a managed window costs about two seconds on a
// display without a window manager.

#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ProgramUnderTest.h"
#include "IconChecks.h"
#include "WindowState.h"
#include "app/AppController.h"
#include "platform/AppMessages.h"
#include "platform/WindowsPlatform.h"

namespace {

using e2e::isLiveIcon;
using e2e::settlesIconic;
using e2e::settlesVisible;

// Bounds of the cycle soak.
constexpr int kCycles = 300;
// Working set is compared between the end of this cycle and the last one,
// after the first allocations have settled.
constexpr int kWarmUpCycles = 20;
constexpr SIZE_T kMaxWorkingSetGrowthBytes = 2 * 1024 * 1024;
constexpr int kRefusedCycles = 5;
constexpr DWORD kWindowTimeoutMs = 10000;
constexpr DWORD kChildTimeoutMs = 120000;

constexpr char kChildVariable[] = "TOLVANE_COMPOSITION_CHILD";
constexpr char kChildSuite[] = "CompositionChild";

SIZE_T ownWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return counters.WorkingSetSize;
}

// Replaces one function this executable imports from a DLL, for as long as
// the object lives, by rewriting its slot in the import address table. The
// product code is linked into this executable, so its calls go through the
// same slots; this is how the test counts the icons it makes and destroys.
class ImportPatch {
public:
    ImportPatch(const char* dll, const char* function, void* replacement) {
        auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        if (imports.VirtualAddress == 0) return;
        for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name != 0; ++d) {
            if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), dll) != 0) continue;
            const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
                base + (d->OriginalFirstThunk != 0 ? d->OriginalFirstThunk : d->FirstThunk));
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
            for (; names->u1.AddressOfData != 0; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
                const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (lstrcmpA(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
                slot_ = reinterpret_cast<ULONG_PTR*>(&slots->u1.Function);
                original_ = *slot_;
                write(reinterpret_cast<ULONG_PTR>(replacement));
                return;
            }
        }
    }
    ~ImportPatch() {
        if (slot_ != nullptr) write(original_);
    }
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool patched() const { return slot_ != nullptr; }
    template <typename F>
    F original() const {
        return reinterpret_cast<F>(original_);
    }

private:
    void write(ULONG_PTR value) {
        DWORD old = 0;
        VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &old);
        *slot_ = value;
        VirtualProtect(slot_, sizeof *slot_, old, &old);
    }

    ULONG_PTR* slot_ = nullptr;
    ULONG_PTR original_ = 0;
};

// Every icon the program makes from icon-file bytes and every icon it
// destroys, counted through the import slots while the object lives.
class IconLedger {
public:
    IconLedger()
        : fromResourceEx_("user32.dll", "CreateIconFromResourceEx", reinterpret_cast<void*>(&createEx)),
          fromResource_("user32.dll", "CreateIconFromResource", reinterpret_cast<void*>(&create)),
          destroy_("user32.dll", "DestroyIcon", reinterpret_cast<void*>(&destroyIcon)) {
        current_ = this;
    }
    ~IconLedger() { current_ = nullptr; }
    IconLedger(const IconLedger&) = delete;
    IconLedger& operator=(const IconLedger&) = delete;

    // The product calls both makers and the destroyer through this
    // executable's imports; without the slots there is nothing to count.
    bool watching() const { return fromResourceEx_.patched() && fromResource_.patched() && destroy_.patched(); }

    int made = 0;
    int destroyed = 0;
    int destroyedUnknown = 0;  // not made while watched, or destroyed twice
    std::vector<HICON> live;

private:
    using CreateExFunction = HICON(WINAPI*)(PBYTE, DWORD, BOOL, DWORD, int, int, UINT);
    using CreateFunction = HICON(WINAPI*)(PBYTE, DWORD, BOOL, DWORD);
    using DestroyFunction = BOOL(WINAPI*)(HICON);

    void noteMade(HICON icon) {
        if (icon == nullptr) return;
        ++made;
        live.push_back(icon);
    }
    static HICON WINAPI createEx(PBYTE bits, DWORD size, BOOL isIcon, DWORD version, int cx, int cy, UINT flags) {
        HICON icon = current_->fromResourceEx_.original<CreateExFunction>()(bits, size, isIcon, version, cx, cy, flags);
        current_->noteMade(icon);
        return icon;
    }
    static HICON WINAPI create(PBYTE bits, DWORD size, BOOL isIcon, DWORD version) {
        HICON icon = current_->fromResource_.original<CreateFunction>()(bits, size, isIcon, version);
        current_->noteMade(icon);
        return icon;
    }
    static BOOL WINAPI destroyIcon(HICON icon) {
        IconLedger& l = *current_;
        auto it = std::find(l.live.begin(), l.live.end(), icon);
        if (it == l.live.end()) {
            ++l.destroyedUnknown;
        } else {
            ++l.destroyed;
            l.live.erase(it);
        }
        return l.destroy_.original<DestroyFunction>()(icon);
    }

    static inline IconLedger* current_ = nullptr;
    ImportPatch fromResourceEx_;
    ImportPatch fromResource_;
    ImportPatch destroy_;
};

// The shell as the composition sees it: it shows at most one icon, adds only
// an icon it does not show yet, modifies only one it shows, and refuses
// everything while `answer` is FALSE (no taskbar). The calls come on the GUI
// thread, inside the driver's SendMessage, so the driver reads this only
// between its own sends.
struct ShellRecord {
    BOOL answer = TRUE;
    int adds = 0, modifies = 0, deletes = 0, others = 0;
    int refused = 0;
    HICON shown = nullptr;  // the icon the shell shows
    NOTIFYICONDATAA last = {};  // the record of the last call
    std::vector<std::string> problems;

    // A restarted taskbar: it comes back with nothing in it.
    void forget() { shown = nullptr; }

    static ShellRecord& instance() {
        static ShellRecord record;
        return record;
    }

    static BOOL WINAPI notify(DWORD message, PNOTIFYICONDATAA data) {
        ShellRecord& r = instance();
        const int call = r.adds + r.modifies + r.deletes + r.others;
        auto problem = [&](const char* what) { r.problems.push_back("call " + std::to_string(call) + ": " + what); };
        // The icon being replaced or removed must still be alive while the
        // shell may draw it.
        if (r.shown != nullptr && !isLiveIcon(r.shown)) problem("the icon in the shell was destroyed before this call");
        r.last = *data;
        bool accepted = r.answer != FALSE;
        switch (message) {
        case NIM_ADD:
            ++r.adds;
            accepted = accepted && r.shown == nullptr;
            break;
        case NIM_MODIFY:
            ++r.modifies;
            accepted = accepted && r.shown != nullptr;
            break;
        case NIM_DELETE:
            ++r.deletes;
            accepted = accepted && r.shown != nullptr;
            break;
        default:
            ++r.others;
            problem("a shell message other than add, modify, delete");
        }
        if (message == NIM_ADD || message == NIM_MODIFY) {
            if (!isLiveIcon(data->hIcon)) problem("the shell was handed a dead icon");
            if (data->hIcon == r.shown) problem("the shell was handed the icon it already shows");
        }
        if (!accepted) {
            ++r.refused;
            return FALSE;
        }
        r.shown = message == NIM_DELETE ? nullptr : data->hIcon;
        return TRUE;
    }
};

struct KeyRecord {
    std::vector<BYTE> keys;  // one entry per event, the key with 0x80 set on release
    static KeyRecord& instance() {
        static KeyRecord record;
        return record;
    }
    static void WINAPI keyEvent(BYTE vk, BYTE, DWORD flags, ULONG_PTR) {
        instance().keys.push_back(static_cast<BYTE>(vk | ((flags & KEYEVENTF_KEYUP) ? 0x80 : 0)));
    }
};

HWND ownMainWindow() {
    HWND found = nullptr;
    for (HWND w = FindWindowExA(nullptr, nullptr, nullptr, e2e::kCaption); w != nullptr;
         w = FindWindowExA(nullptr, w, nullptr, e2e::kCaption)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == GetCurrentProcessId()) found = w;
    }
    return found;
}

// What the driver saw; checked on the test's thread after the program ended.
struct DriverReport {
    std::vector<std::string> problems;
    int cyclesDone = 0;
    SIZE_T workingSetAfterWarmUp = 0;
    SIZE_T workingSetAtEnd = 0;
    HICON lastIcon = nullptr;
};

struct Driver {
    int cycles;
    bool shellAccepts;  // false: every shell call is refused
    DriverReport report;

    static DWORD WINAPI run(LPVOID self) {
        static_cast<Driver*>(self)->drive();
        return 0;
    }

    void problem(int cycle, const std::string& what) {
        report.problems.push_back("cycle " + std::to_string(cycle) + ": " + what);
    }

    void drive() {
        HWND window = nullptr;
        const ULONGLONG end = GetTickCount64() + kWindowTimeoutMs;
        while ((window = ownMainWindow()) == nullptr || !IsWindowVisible(window)) {
            if (GetTickCount64() > end) {
                report.problems.push_back("the main window did not appear");
                return;
            }
            Sleep(5);
        }
        ShellRecord& shell = ShellRecord::instance();
        for (int i = 0; i < cycles; ++i) {
            const HICON before = shell.shown;
            // What the minimise button sends.
            SendMessageA(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
            if (!settlesIconic(window, true)) problem(i, "minimising did not minimise");
            // Without an icon to come back by, the window stays on the
            // taskbar.
            if (!settlesVisible(window, !shellAccepts)) {
                problem(i, shellAccepts ? "minimising did not hide the window"
                                        : "the window was hidden with no icon to bring it back");
            }
            if (shellAccepts) {
                if (shell.adds != 1 || shell.modifies != i) {
                    problem(i, "adds " + std::to_string(shell.adds) + ", modifies " + std::to_string(shell.modifies));
                }
                if (shell.shown == nullptr || !isLiveIcon(shell.shown)) problem(i, "no live icon in the shell");
                // Checked at once, before a later icon could take over the
                // handle's value.
                if (before != nullptr && isLiveIcon(before)) problem(i, "the replaced icon is still alive");
            }
            // The shell's double-click on the icon.
            SendMessageA(window, kTrayCallbackMessage, kTrayIconId, WM_LBUTTONDBLCLK);
            if (!settlesVisible(window, true) || !settlesIconic(window, true)) {
                problem(i, "the double-click did not show it minimised");
            }
            // The taskbar button.
            SendMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
            if (!settlesVisible(window, true) || !settlesIconic(window, false)) {
                problem(i, "the window was not restored");
            }
            if (i + 1 == kWarmUpCycles) report.workingSetAfterWarmUp = ownWorkingSet();
            report.cyclesDone = i + 1;
            if (report.problems.size() > 10) break;
        }
        report.workingSetAtEnd = ownWorkingSet();
        report.lastIcon = shell.shown;
        // The close button.
        PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
};

// Runs the program as WinMain does, with the driver working it from its own
// thread; gives the exit code of run().
int runComposition(Driver& driver) {
    WindowsPlatform platform(&ShellRecord::notify, &KeyRecord::keyEvent);
    AppController controller(platform);
    platform.bind(controller);
    HANDLE thread = CreateThread(nullptr, 0, &Driver::run, &driver, 0, nullptr);
    const int code = controller.run();
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    return code;
}

void expectNoProblems(const std::vector<std::string>& problems) {
    for (const std::string& p : problems) ADD_FAILURE() << p;
}

void hundredsOfCyclesLeakNoIcon() {
    ShellRecord::instance() = ShellRecord{};
    KeyRecord::instance() = KeyRecord{};
    IconLedger icons;
    ASSERT_TRUE(icons.watching()) << "the icon functions are not imported through this executable's table";
    Driver driver{kCycles, true, {}};
    EXPECT_EQ(runComposition(driver), 0);
    const ShellRecord& shell = ShellRecord::instance();
    expectNoProblems(driver.report.problems);
    expectNoProblems(shell.problems);
    EXPECT_EQ(driver.report.cyclesDone, kCycles);
    // One icon for the program's whole life: added once, replaced on every
    // later minimise, removed with the window.
    EXPECT_EQ(shell.adds, 1);
    EXPECT_EQ(shell.modifies, kCycles - 1);
    EXPECT_EQ(shell.deletes, 1);
    EXPECT_EQ(shell.shown, nullptr);
    ASSERT_NE(driver.report.lastIcon, nullptr);
    EXPECT_FALSE(isLiveIcon(driver.report.lastIcon)) << "the last icon outlived the window";
    // Every icon made, one per minimise, was destroyed exactly once.
    EXPECT_EQ(icons.made, kCycles);
    EXPECT_EQ(icons.destroyed, icons.made);
    EXPECT_EQ(icons.destroyedUnknown, 0) << "an icon was destroyed twice, or one never made";
    EXPECT_TRUE(icons.live.empty()) << icons.live.size() << " icons outlived the program";
    // Nothing was typed: the cycles do not touch the hot key.
    EXPECT_TRUE(KeyRecord::instance().keys.empty());

    const SIZE_T before = driver.report.workingSetAfterWarmUp, after = driver.report.workingSetAtEnd;
    ASSERT_GT(before, 0u) << "the working set could not be read";
    EXPECT_LE(after, before + kMaxWorkingSetGrowthBytes);
    std::printf("composition: %d cycles, shell calls: %d add, %d modify, %d delete; icons made %d, destroyed %d, "
                "left %zu; working set after %d cycles %.0f KiB, after %d cycles %.0f KiB\n",
                driver.report.cyclesDone, shell.adds, shell.modifies, shell.deletes, icons.made, icons.destroyed,
                icons.live.size(), kWarmUpCycles, before / 1024.0, driver.report.cyclesDone, after / 1024.0);
}

// Wine's shell cannot be made to refuse an icon, so the seam does: every
// shell call fails, as with no taskbar. The program runs on; minimising
// leaves the window on the taskbar, minimised, since no icon could bring it
// back; the shell's double-click (had the icon been shown) shows it; and it
// can still be closed.
void aRefusingNotificationAreaLeavesTheWindowReachable() {
    ShellRecord::instance() = ShellRecord{};
    ShellRecord::instance().answer = FALSE;
    KeyRecord::instance() = KeyRecord{};
    IconLedger icons;
    Driver driver{kRefusedCycles, false, {}};
    EXPECT_EQ(runComposition(driver), 0);
    expectNoProblems(driver.report.problems);
    expectNoProblems(ShellRecord::instance().problems);
    EXPECT_EQ(driver.report.cyclesDone, kRefusedCycles);
    const ShellRecord& shell = ShellRecord::instance();
    // Every minimise asks anew: an add, and the one modify that a refused add
    // gets. No icon is ever believed shown, so the window's end has nothing
    // to remove.
    EXPECT_EQ(shell.adds, kRefusedCycles);
    EXPECT_EQ(shell.modifies, kRefusedCycles);
    EXPECT_EQ(shell.deletes, 0);
    EXPECT_EQ(shell.refused, 2 * kRefusedCycles);
    // A refused icon is still the program's to destroy, and it does.
    EXPECT_EQ(icons.made, kRefusedCycles);
    EXPECT_EQ(icons.destroyed, icons.made);
    EXPECT_EQ(icons.destroyedUnknown, 0);
}

// A taskbar that restarts, told as a user lives it: the window is tucked
// away when the shell restarts, twice, and the icon comes back each time with
// the record it had; a restart while the window is on the screen leaves the
// icon to the next minimise; a new shell that refuses the icon gives the
// window back as a taskbar button.
struct RestartDriver {
    std::vector<std::string> problems;

    static DWORD WINAPI run(LPVOID self) {
        static_cast<RestartDriver*>(self)->drive();
        return 0;
    }

    void check(bool holds, const std::string& what) {
        if (!holds) problems.push_back(what);
    }

    // The shell's calls since `before`, as "add modify ...".
    static std::string callsSince(const ShellRecord& before) {
        const ShellRecord& now = ShellRecord::instance();
        return "adds " + std::to_string(now.adds - before.adds) + ", modifies " +
               std::to_string(now.modifies - before.modifies) + ", deletes " +
               std::to_string(now.deletes - before.deletes);
    }

    void expectFullRecordOf(HICON icon, const std::string& when) {
        const NOTIFYICONDATAA& r = ShellRecord::instance().last;
        check(r.hIcon == icon, when + ": not the icon shown before");
        check(r.uID == kTrayIconId && r.uFlags == 7 && r.uCallbackMessage == kTrayCallbackMessage,
              when + ": not the full record");
        check(std::string(r.szTip) == kTrayTooltip, when + ": tooltip '" + std::string(r.szTip) + "'");
    }

    void drive() {
        HWND window = nullptr;
        check(e2e::waitUntil([&] { return (window = ownMainWindow()) != nullptr && IsWindowVisible(window); },
                             kWindowTimeoutMs),
              "the main window did not appear");
        if (!problems.empty()) return;
        const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
        ShellRecord& shell = ShellRecord::instance();

        SendMessageA(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        check(settlesVisible(window, false), "the first minimise did not hide the window");
        for (int restart = 1; restart <= 2; ++restart) {
            const std::string when = "restart " + std::to_string(restart) + " while tucked away";
            const HICON shownBefore = shell.shown;
            shell.forget();
            const ShellRecord before = shell;
            SendMessageA(window, taskbarCreated, 0, 0);
            check(callsSince(before) == "adds 1, modifies 0, deletes 0", when + ": " + callsSince(before));
            check(shell.shown == shownBefore, when + ": the shell does not show the icon again");
            expectFullRecordOf(shownBefore, when);
            check(!IsWindowVisible(window), when + ": the window came out");
        }

        // Back on the screen, the icon stays where it is; a restart now
        // adds nothing, and the next minimise finds the icon forgotten.
        SendMessageA(window, kTrayCallbackMessage, kTrayIconId, WM_LBUTTONDBLCLK);
        SendMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
        check(settlesVisible(window, true) && settlesIconic(window, false), "the window was not restored");
        shell.forget();
        ShellRecord before = shell;
        SendMessageA(window, taskbarCreated, 0, 0);
        check(callsSince(before) == "adds 0, modifies 0, deletes 0",
              "restart with the window shown: " + callsSince(before));
        before = shell;
        SendMessageA(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        check(callsSince(before) == "adds 1, modifies 1, deletes 0",
              "minimise after a restart: " + callsSince(before));
        check(shell.shown != nullptr && settlesVisible(window, false), "minimise after a restart did not tuck away");

        // A new shell that will not take the icon: the window comes back as
        // a taskbar button, minimised.
        shell.forget();
        shell.answer = FALSE;
        SendMessageA(window, taskbarCreated, 0, 0);
        check(settlesVisible(window, true) && settlesIconic(window, true),
              "a refused icon left the window out of reach");
        shell.answer = TRUE;

        // The close button: nothing is believed shown, so nothing to remove.
        before = shell;
        PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        check(e2e::waitUntil([&] { return !IsWindow(window); }, kWindowTimeoutMs), "the window did not close");
        check(callsSince(before) == "adds 0, modifies 0, deletes 0", "closing: " + callsSince(before));
    }
};

void aRestartedTaskbarGetsTheIconBackWhileTheWindowIsTuckedAway() {
    ShellRecord::instance() = ShellRecord{};
    KeyRecord::instance() = KeyRecord{};
    IconLedger icons;
    RestartDriver driver;
    WindowsPlatform platform(&ShellRecord::notify, &KeyRecord::keyEvent);
    AppController controller(platform);
    platform.bind(controller);
    HANDLE thread = CreateThread(nullptr, 0, &RestartDriver::run, &driver, 0, nullptr);
    EXPECT_EQ(controller.run(), 0);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    expectNoProblems(driver.problems);
    expectNoProblems(ShellRecord::instance().problems);
    // Two minimises made two icons; the restarts handed the shown one over
    // again rather than make another. Each was destroyed once: the first when
    // the second replaced it, the second when the last shell refused it.
    EXPECT_EQ(icons.made, 2);
    EXPECT_EQ(icons.destroyed, icons.made);
    EXPECT_EQ(icons.destroyedUnknown, 0);
}

bool inChild() { return std::getenv(kChildVariable) != nullptr; }

// The child's tests exist only in the child.
class ChildTest : public ::testing::Test {
public:
    explicit ChildTest(void (*body)()) : body_(body) {}
    void TestBody() override { body_(); }

private:
    void (*body_)();
};

const bool childTestsRegistered = [] {
    if (!inChild()) return false;
    struct Case {
        const char* name;
        void (*body)();
    };
    static const Case cases[] = {
        {"HundredsOfMinimiseShowCyclesLeakNoIcon", &hundredsOfCyclesLeakNoIcon},
        {"ARefusingNotificationAreaLeavesTheWindowReachable", &aRefusingNotificationAreaLeavesTheWindowReachable},
        {"ARestartedTaskbarGetsTheIconBackWhileTheWindowIsTuckedAway",
         &aRestartedTaskbarGetsTheIconBackWhileTheWindowIsTuckedAway},
    };
    for (const Case& c : cases) {
        ::testing::RegisterTest(kChildSuite, c.name, nullptr, nullptr, __FILE__, __LINE__,
                                [body = c.body]() -> ::testing::Test* { return new ChildTest(body); });
    }
    return true;
}();

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs this binary again with only the child's tests, with Wine's window
// management off for it, and checks from the child's own report that all
// its tests ran and passed (an exit code of 0 alone would also come from a
// filter that matched nothing).
TEST(Composition, InAChildWithoutWindowManagement) {
    if (inChild()) GTEST_SKIP() << "this is the child";
    char self[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameA(nullptr, self, sizeof self), 0u);
    std::string exeName = self;
    exeName = exeName.substr(exeName.find_last_of("\\/") + 1);
    e2e::WineX11Setting unmanaged({exeName.c_str()}, "Managed", "N");

    char tempDir[MAX_PATH] = {};
    GetTempPathA(sizeof tempDir, tempDir);
    const std::string report =
        std::string(tempDir) + "tolvane-composition-" + std::to_string(GetCurrentProcessId()) + ".xml";
    DeleteFileA(report.c_str());
    std::string command = std::string("\"") + self + "\" --gtest_filter=" + kChildSuite + ".* --gtest_output=xml:" +
                          report;

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    SetEnvironmentVariableA(kChildVariable, "1");
    const BOOL started =
        CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child);
    SetEnvironmentVariableA(kChildVariable, nullptr);
    ASSERT_TRUE(started);
    const DWORD waited = WaitForSingleObject(child.hProcess, kChildTimeoutMs);
    if (waited != WAIT_OBJECT_0) TerminateProcess(child.hProcess, 99);
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "the child did not end within " << kChildTimeoutMs << " ms";
    EXPECT_EQ(code, 0u);

    const std::string xml = readFile(report);
    DeleteFileA(report.c_str());
    EXPECT_NE(xml.find("<testsuites tests=\"3\" failures=\"0\" disabled=\"0\" errors=\"0\""), std::string::npos)
        << xml;
    EXPECT_EQ(xml.find("<skipped"), std::string::npos) << xml;
}

}  // namespace
