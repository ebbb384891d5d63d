// Measures tolvane.exe against the reference program, side by side, under
// Wine or Windows: hot-key latency, start-up, resident memory, idle CPU and
// executable size. The two programs run one after the other, never both at
// once, because only one of them can hold the hot key.
//
// Under Wine every Windows process is a Linux process. The idle CPU figures
// come from /proc (utime+stime ticks, and the scheduler's run time and run
// count of every thread), because Wine's GetProcessTimes of another process
// does not report what that process used. To find the Linux process, each
// program is started with a marker argument that the programs ignore and
// /proc/<pid>/cmdline shows. On Windows there is no /proc: the idle figures
// then come from GetProcessTimes.

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------- clock

double gTicksPerSecond = 0;

LONGLONG now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double microsBetween(LONGLONG from, LONGLONG to) { return static_cast<double>(to - from) * 1e6 / gTicksPerSecond; }

// ---------------------------------------------------------------- options

struct Options {
    std::string product, reference, productX86, referenceX86;
    int rounds = 5;
    int presses = 500;
    int cycles = 10;
    int idleSeconds = 10;
    // Short launches per program and round beside the long one, alternating
    // tightly, so that start-up and latency are compared under the same load.
    int launches = 4;
    bool smoke = false;
};

// Unix paths as CMake and the shell know them; Wine maps "/" to drive Z:.
std::string windowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string out = "Z:" + path;
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}

bool parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& to) {
            if (i + 1 >= argc) return false;
            to = argv[++i];
            return true;
        };
        auto number = [&](int& to) {
            std::string s;
            if (!value(s)) return false;
            to = std::atoi(s.c_str());
            return to > 0;
        };
        bool ok = true;
        if (a == "--product") ok = value(o.product);
        else if (a == "--reference") ok = value(o.reference);
        else if (a == "--product-x86") ok = value(o.productX86);
        else if (a == "--reference-x86") ok = value(o.referenceX86);
        else if (a == "--rounds") ok = number(o.rounds);
        else if (a == "--presses") ok = number(o.presses);
        else if (a == "--cycles") ok = number(o.cycles);
        else if (a == "--idle-seconds") ok = number(o.idleSeconds);
        else if (a == "--launches") ok = number(o.launches);
        else if (a == "--smoke") {
            o.smoke = true;
            o.rounds = 1;
            o.presses = 20;
            o.cycles = 2;
            o.idleSeconds = 1;
            o.launches = 1;
        } else ok = false;
        if (!ok) {
            std::fprintf(stderr, "driver: bad or incomplete option %s\n", a.c_str());
            return false;
        }
    }
    if (o.product.empty() || o.reference.empty()) {
        std::fprintf(stderr,
                     "usage: driver --product EXE --reference EXE [--product-x86 EXE --reference-x86 EXE]\n"
                     "              [--rounds N] [--presses N] [--cycles N] [--idle-seconds N] [--launches N]\n"
                     "              [--smoke]\n");
        return false;
    }
    o.product = windowsPath(o.product);
    o.reference = windowsPath(o.reference);
    o.productX86 = windowsPath(o.productX86);
    o.referenceX86 = windowsPath(o.referenceX86);
    return true;
}

// ---------------------------------------------------------------- the hook

// The low-level hook sees every key event in the session, the programs'
// injected ones included, on a thread of its own that does nothing but pump
// messages, so that it answers at once.
struct ChordWatch {
    CRITICAL_SECTION lock;
    HANDLE complete = nullptr;  // set when the sixth event of a chord arrives
    bool armed = false;
    int count = 0;
    int strays = 0;  // chord keys seen while no press was waiting for them
    LONGLONG firstAt = 0;
    LONGLONG lastAt = 0;
    DWORD vk[6] = {};
    bool up[6] = {};
};

ChordWatch gWatch;
DWORD gHookThreadId = 0;
HANDLE gHookReady = nullptr;
bool gHookInstalled = false;

DWORD normalisedKey(DWORD vk) {
    // The system may report the generic Ctrl as its left-hand form.
    return (vk == VK_LCONTROL || vk == VK_RCONTROL) ? VK_CONTROL : vk;
}

bool isChordKey(DWORD vk) { return vk == VK_CONTROL || vk == VK_LWIN || vk == VK_LEFT || vk == VK_RIGHT; }

LRESULT CALLBACK lowLevelKeyboard(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const LONGLONG at = now();
        const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        const DWORD vk = normalisedKey(event->vkCode);
        if ((event->flags & LLKHF_INJECTED) && isChordKey(vk)) {
            EnterCriticalSection(&gWatch.lock);
            if (gWatch.armed && gWatch.count < 6) {
                if (gWatch.count == 0) gWatch.firstAt = at;
                gWatch.lastAt = at;
                gWatch.vk[gWatch.count] = vk;
                gWatch.up[gWatch.count] = (event->flags & LLKHF_UP) != 0;
                if (++gWatch.count == 6) SetEvent(gWatch.complete);
            } else {
                ++gWatch.strays;
            }
            LeaveCriticalSection(&gWatch.lock);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

DWORD WINAPI hookThread(void*) {
    HHOOK hook = SetWindowsHookExA(WH_KEYBOARD_LL, lowLevelKeyboard, GetModuleHandleA(nullptr), 0);
    gHookInstalled = hook != nullptr;
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here on
    SetEvent(gHookReady);
    if (!hook) return 1;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    UnhookWindowsHookEx(hook);
    return 0;
}

void armWatch() {
    EnterCriticalSection(&gWatch.lock);
    ResetEvent(gWatch.complete);
    gWatch.armed = true;
    gWatch.count = 0;
    LeaveCriticalSection(&gWatch.lock);
}

void disarmWatch() {
    EnterCriticalSection(&gWatch.lock);
    gWatch.armed = false;
    LeaveCriticalSection(&gWatch.lock);
}

// ---------------------------------------------------------------- /proc

// Reads a whole small file; false when it cannot be opened (no /proc).
bool readWholeFile(const std::string& path, std::string& out) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    out.clear();
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
    CloseHandle(file);
    return true;
}

// The Linux process whose command line carries `marker`, or 0.
unsigned findUnixPid(const std::string& marker) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA("Z:\\proc\\*", &entry);
    if (find == INVALID_HANDLE_VALUE) return 0;
    unsigned found = 0;
    do {
        const char* name = entry.cFileName;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name[0] < '0' || name[0] > '9') continue;
        std::string cmdline;
        if (!readWholeFile(std::string("Z:\\proc\\") + name + "\\cmdline", cmdline)) continue;
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        if (cmdline.find(marker) != std::string::npos) {
            found = static_cast<unsigned>(std::strtoul(name, nullptr, 10));
            break;
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return found;
}

struct CpuSample {
    bool valid = false;
    unsigned long long ticks = 0;     // utime + stime, clock ticks (1/100 s)
    unsigned long long runNanos = 0;  // the scheduler's run time, all threads
    unsigned long long runs = 0;      // how often a thread was put on a CPU
    int threads = 0;
};

CpuSample sampleUnixCpu(unsigned pid) {
    CpuSample s;
    std::string base = "Z:\\proc\\" + std::to_string(pid);
    std::string stat;
    if (!readWholeFile(base + "\\stat", stat)) return s;
    // Fields after the command name, which is in parentheses and may hold
    // spaces: state is field 3, utime 14, stime 15.
    std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return s;
    const char* p = stat.c_str() + close + 2;
    unsigned long long field[16] = {};
    for (int i = 3; i <= 15 && *p; ++i) {
        if (i > 3) field[i] = std::strtoull(p, nullptr, 10);
        while (*p && *p != ' ') ++p;
        while (*p == ' ') ++p;
    }
    s.ticks = field[14] + field[15];

    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((base + "\\task\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return s;
    do {
        if (entry.cFileName[0] < '0' || entry.cFileName[0] > '9') continue;
        std::string schedstat;
        if (!readWholeFile(base + "\\task\\" + entry.cFileName + "\\schedstat", schedstat)) continue;
        unsigned long long run = 0, wait = 0, count = 0;
        if (std::sscanf(schedstat.c_str(), "%llu %llu %llu", &run, &wait, &count) == 3) {
            s.runNanos += run;
            s.runs += count;
            ++s.threads;
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    s.valid = s.threads > 0;
    return s;
}

unsigned long long unixResidentBytes(unsigned pid) {
    std::string status;
    if (!readWholeFile("Z:\\proc\\" + std::to_string(pid) + "\\status", status)) return 0;
    std::size_t at = status.find("VmRSS:");
    if (at == std::string::npos) return 0;
    return std::strtoull(status.c_str() + at + 6, nullptr, 10) * 1024;
}

// ---------------------------------------------------------------- one run

struct FindWindowState {
    DWORD pid;
    HWND hwnd;
};

BOOL CALLBACK findVisibleTopLevel(HWND hwnd, LPARAM lParam) {
    auto* state = reinterpret_cast<FindWindowState*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == state->pid && IsWindowVisible(hwnd) && GetWindow(hwnd, GW_OWNER) == nullptr) {
        state->hwnd = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND visibleTopLevelOf(DWORD pid) {
    FindWindowState state = {pid, nullptr};
    EnumWindows(findVisibleTopLevel, reinterpret_cast<LPARAM>(&state));
    return state.hwnd;
}

// Waits up to `millis` for the condition, checking every millisecond.
template <typename Condition>
bool waitFor(Condition condition, DWORD millis) {
    const ULONGLONG end = GetTickCount64() + millis;
    while (!condition()) {
        if (GetTickCount64() > end) return false;
        Sleep(1);
    }
    return true;
}

size_t workingSet(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(process, &counters, sizeof counters)) return 0;
    return counters.WorkingSetSize;
}

struct RunResult {
    bool ok = false;
    std::string failure;
    double startupMs = 0;
    double p50Us = 0, p99Us = 0, chordP50Us = 0;
    std::vector<double> latenciesUs;  // hot key to first chord event, every good press
    std::vector<double> wholeChordsUs;
    std::vector<double> startupsMs;   // every launch of the round
    int presses = 0, goodChords = 0, missingChords = 0, wrongChords = 0;
    double residentAfterStartKiB = 0, residentAfterSoakKiB = 0;
    double unixResidentAfterStartKiB = 0;
    bool idleFromProc = false;
    double idleTicks = 0, idleCpuMs = 0, idleRuns = 0;
    double pressCpuUs = 0, pressRuns = 0;  // per press, from /proc only
    int threads = 0;
    DWORD exitCode = 0;
};

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    // Nearest rank: the smallest value with at least p of the samples at or
    // below it.
    std::size_t rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(v.size())));
    if (rank < 1) rank = 1;
    return v[rank - 1];
}

void pressHotKey() {
    INPUT input[2] = {};
    input[0].type = INPUT_KEYBOARD;
    input[0].ki.wVk = VK_OEM_3;
    input[1] = input[0];
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

// Was the chord just seen Ctrl, LWin, arrow down, then the same three up in
// the same order?
bool chordIsRight(DWORD arrow) {
    const DWORD keys[3] = {VK_CONTROL, VK_LWIN, arrow};
    for (int i = 0; i < 6; ++i) {
        if (gWatch.vk[i] != keys[i % 3] || gWatch.up[i] != (i >= 3)) return false;
    }
    return true;
}

bool gTrace = false;

void trace(const char* phase) {
    if (gTrace) std::fprintf(stderr, "  %10.3f s  %s\n", static_cast<double>(now()) / gTicksPerSecond, phase);
}

// Presses the hot key `presses` times, each after the chord of the one
// before has arrived or been given up, and keeps the latencies of the good
// chords in `r`.
void pressAndWatch(RunResult& r, int presses) {
    DWORD arrow = VK_RIGHT;  // the first press after start-up goes right
    for (int i = 0; i < presses; ++i) {
        armWatch();
        const LONGLONG pressed = now();
        pressHotKey();
        const bool complete = WaitForSingleObject(gWatch.complete, 2000) == WAIT_OBJECT_0;
        EnterCriticalSection(&gWatch.lock);
        gWatch.armed = false;
        const int seen = gWatch.count;
        const LONGLONG firstAt = gWatch.firstAt, lastAt = gWatch.lastAt;
        const bool right = complete && chordIsRight(arrow);
        LeaveCriticalSection(&gWatch.lock);
        ++r.presses;
        if (!complete) {
            ++r.missingChords;
            if (seen == 0) continue;  // no chord: the arrow does not change
        } else if (!right) {
            ++r.wrongChords;
        } else {
            ++r.goodChords;
            r.latenciesUs.push_back(microsBetween(pressed, firstAt));
            r.wholeChordsUs.push_back(microsBetween(pressed, lastAt));
            if (gTrace) std::fprintf(stderr, "  press %d: %.0f us\n", i + 1, r.latenciesUs.back());
        }
        arrow = arrow == VK_RIGHT ? VK_LEFT : VK_RIGHT;
        Sleep(1);
    }
    disarmWatch();
}

// One launch of a program. A full launch measures everything; a short one
// only start-up and `presses` presses.
RunResult runOnce(const std::string& exe, const Options& o, int sequence, bool full, int presses) {
    RunResult r;
    const std::string marker = "tolvane-bench-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(sequence);
    std::string commandLine = "\"" + exe + "\" " + marker;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};

    const LONGLONG started = now();
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        r.failure = "cannot start " + exe + " (error " + std::to_string(GetLastError()) + ")";
        return r;
    }
    HWND window = nullptr;
    const bool shown = waitFor([&] { return (window = visibleTopLevelOf(process.dwProcessId)) != nullptr; }, 30000);
    const LONGLONG visible = now();
    auto finish = [&](const std::string& failure) {
        trace("closing");
        r.failure = failure;
        if (window) PostMessageA(window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process.hProcess, 5000) != WAIT_OBJECT_0) {
            if (r.failure.empty()) r.failure = "did not end on WM_CLOSE";
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, 5000);
        }
        GetExitCodeProcess(process.hProcess, &r.exitCode);
        if (r.failure.empty() && r.exitCode != 0) r.failure = "exit code " + std::to_string(r.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        trace("ended");
        r.ok = r.failure.empty();
        return r;
    };
    if (!shown) return finish("no visible window within 30 s");
    r.startupMs = microsBetween(started, visible) / 1000.0;
    r.startupsMs.push_back(r.startupMs);
    if (!full) {
        Sleep(200);
        pressAndWatch(r, presses);
        if (r.goodChords == 0) return finish("no chord seen for any press");
        return finish("");
    }

    // Let the start-up finish (the first paint, Wine's own set-up) before
    // memory is read and the idle time begins.
    Sleep(500);
    r.residentAfterStartKiB = static_cast<double>(workingSet(process.hProcess)) / 1024.0;
    trace("settled");
    const unsigned unixPid = findUnixPid(marker);
    trace("found the Linux process");
    if (unixPid) r.unixResidentAfterStartKiB = static_cast<double>(unixResidentBytes(unixPid)) / 1024.0;

    // Idle: nothing happens on the desktop; a blocking loop uses nothing.
    FILETIME created, exited, kernel0, user0, kernel1, user1;
    GetProcessTimes(process.hProcess, &created, &exited, &kernel0, &user0);
    const CpuSample before = unixPid ? sampleUnixCpu(unixPid) : CpuSample();
    Sleep(static_cast<DWORD>(o.idleSeconds) * 1000);
    const CpuSample after = unixPid ? sampleUnixCpu(unixPid) : CpuSample();
    GetProcessTimes(process.hProcess, &created, &exited, &kernel1, &user1);
    if (before.valid && after.valid) {
        r.idleFromProc = true;
        r.idleTicks = static_cast<double>(after.ticks - before.ticks);
        r.idleCpuMs = static_cast<double>(after.runNanos - before.runNanos) / 1e6;
        r.idleRuns = static_cast<double>(after.runs - before.runs);
        r.threads = after.threads;
    } else {
        auto hundreds = [](const FILETIME& f) {
            return (static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
        };
        const unsigned long long used =
            hundreds(kernel1) + hundreds(user1) - hundreds(kernel0) - hundreds(user0);  // 100 ns units
        r.idleCpuMs = static_cast<double>(used) / 1e4;
        r.idleTicks = static_cast<double>(used / 100000);  // in 10 ms ticks, as /proc counts
    }

    trace("idle done");
    // Hot key to chord, press after press.
    const CpuSample beforePresses = unixPid ? sampleUnixCpu(unixPid) : CpuSample();
    pressAndWatch(r, o.presses);
    const CpuSample afterPresses = unixPid ? sampleUnixCpu(unixPid) : CpuSample();
    if (beforePresses.valid && afterPresses.valid && r.presses > 0) {
        r.pressCpuUs = static_cast<double>(afterPresses.runNanos - beforePresses.runNanos) / 1e3 / r.presses;
        r.pressRuns = static_cast<double>(afterPresses.runs - beforePresses.runs) / r.presses;
    }

    trace("presses done");
    // Soak: minimise and show again, as a user parks and fetches the window.
    // The product hides itself into the notification area when minimised;
    // SW_RESTORE brings either program back. ShowWindow of another process's
    // window returns once that process has handled it. With Wine's windows
    // managed and no window manager on the display, hiding or destroying a
    // shown window waits about 2 s for a reply that never comes, so the
    // product's cycles and every exit are slow there; no figure is taken
    // from them.
    for (int i = 0; i < o.cycles; ++i) {
        ShowWindow(window, SW_MINIMIZE);
        if (!waitFor([&] { return IsIconic(window) != FALSE; }, 5000)) return finish("did not minimise");
        trace("minimised");
        ShowWindow(window, SW_RESTORE);
        if (!waitFor([&] { return !IsIconic(window) && IsWindowVisible(window); }, 5000))
            return finish("did not come back after minimising");
    }
    trace("cycles done");
    Sleep(200);
    r.residentAfterSoakKiB = static_cast<double>(workingSet(process.hProcess)) / 1024.0;

    if (r.goodChords == 0) return finish("no chord seen for any press");
    if (r.residentAfterStartKiB <= 0) return finish("no working set reported");
    // The same counters that show an idle process at rest must move while it
    // works, or the idle figures mean nothing.
    if (r.idleFromProc && r.pressRuns <= 0) return finish("the /proc counters did not move while chords were sent");
    return finish("");
}

// ---------------------------------------------------------------- figures

// Adds a short launch's start-up and presses to the round's long launch.
void merge(RunResult& into, const RunResult& from) {
    into.startupsMs.insert(into.startupsMs.end(), from.startupsMs.begin(), from.startupsMs.end());
    into.latenciesUs.insert(into.latenciesUs.end(), from.latenciesUs.begin(), from.latenciesUs.end());
    into.wholeChordsUs.insert(into.wholeChordsUs.end(), from.wholeChordsUs.begin(), from.wholeChordsUs.end());
    into.presses += from.presses;
    into.goodChords += from.goodChords;
    into.missingChords += from.missingChords;
    into.wrongChords += from.wrongChords;
}

// The round's figures over all its launches: the median start-up and the
// percentiles of all its presses.
void summarise(RunResult& r) {
    r.startupMs = percentile(r.startupsMs, 0.50);
    r.p50Us = percentile(r.latenciesUs, 0.50);
    r.p99Us = percentile(r.latenciesUs, 0.99);
    r.chordP50Us = percentile(r.wholeChordsUs, 0.50);
}

struct Spread {
    double median = 0, low = 0, high = 0;
};

Spread spreadOf(std::vector<double> v) {
    Spread s;
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    s.median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    s.low = v.front();
    s.high = v.back();
    return s;
}

std::string formatted(const Spread& s, int decimals) {
    char text[96];
    std::snprintf(text, sizeof text, "%.*f [%.*f..%.*f]", decimals, s.median, decimals, s.low, decimals, s.high);
    return text;
}

long long fileSize(const std::string& path) {
    if (path.empty()) return -1;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

struct Row {
    const char* name;
    double RunResult::*field;
    int decimals;
    // A ratio bound, or an absolute bound on the product's median, or none.
    double ratioLimit;
    double absoluteLimit;
};

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    Options o;
    if (!parseOptions(argc, argv, o)) return 2;
    gTrace = GetEnvironmentVariableA("TOLVANE_BENCH_TRACE", nullptr, 0) > 0;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    gTicksPerSecond = static_cast<double>(frequency.QuadPart);

    // The hot key must be free, or neither program gets it.
    HWND probe = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!RegisterHotKey(probe, 1, 0, VK_OEM_3)) {
        std::fprintf(stderr, "driver: another program holds the ~ hot key; end it first\n");
        return 2;
    }
    UnregisterHotKey(probe, 1);
    DestroyWindow(probe);

    InitializeCriticalSection(&gWatch.lock);
    gWatch.complete = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    gHookReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE hook = CreateThread(nullptr, 0, hookThread, nullptr, 0, &gHookThreadId);
    WaitForSingleObject(gHookReady, INFINITE);
    if (!gHookInstalled) {
        std::fprintf(stderr, "driver: cannot install the low-level keyboard hook\n");
        return 2;
    }

    const int shortPresses = std::max(1, o.presses / 5);
    std::printf(
        "%d rounds; per program and round one long launch (%d presses, %d minimise/restore cycles, %d s idle)\n"
        "and %d short launches (%d presses each), alternating tolvane, reference, tolvane, reference\n",
        o.rounds, o.presses, o.cycles, o.idleSeconds, o.launches, shortPresses);
    const std::string* exes[2] = {&o.product, &o.reference};
    const char* names[2] = {"tolvane", "reference"};
    std::vector<RunResult> product, reference;
    bool failed = false;
    int sequence = 0;
    auto check = [&](const RunResult& r, int round, int which) {
        if (r.ok) return true;
        std::printf("round %d %s FAILED: %s\n", round, names[which], r.failure.c_str());
        return false;
    };
    for (int round = 1; round <= o.rounds && !failed; ++round) {
        RunResult results[2];
        for (int which = 0; which < 2 && !failed; ++which) {
            results[which] = runOnce(*exes[which], o, ++sequence, true, o.presses);
            failed = !check(results[which], round, which);
        }
        for (int launch = 0; launch < o.launches && !failed; ++launch) {
            for (int which = 0; which < 2 && !failed; ++which) {
                const RunResult r = runOnce(*exes[which], o, ++sequence, false, shortPresses);
                failed = !check(r, round, which);
                merge(results[which], r);
            }
        }
        if (failed) break;
        for (int which = 0; which < 2; ++which) {
            RunResult& r = results[which];
            summarise(r);
            std::printf(
                "round %d %-9s start %7.1f ms  p50 %6.0f us  p99 %6.0f us  chord %6.0f us  chords %d/%d (missing "
                "%d, wrong %d)  rss %6.0f/%6.0f KiB (VmRSS %6.0f)  idle %s %.0f ticks %.2f ms %.0f runs, %d "
                "threads\n",
                round, names[which], r.startupMs, r.p50Us, r.p99Us, r.chordP50Us, r.goodChords, r.presses,
                r.missingChords, r.wrongChords, r.residentAfterStartKiB, r.residentAfterSoakKiB,
                r.unixResidentAfterStartKiB, r.idleFromProc ? "/proc" : "GetProcessTimes", r.idleTicks, r.idleCpuMs,
                r.idleRuns, r.threads);
            // In a smoke run every press must give exactly its chord.
            if (o.smoke && (r.missingChords || r.wrongChords)) failed = true;
            (which == 0 ? product : reference).push_back(r);
        }
    }
    PostThreadMessageA(gHookThreadId, WM_QUIT, 0, 0);
    WaitForSingleObject(hook, 5000);
    if (gWatch.strays) std::printf("chord events that came after their press had given up: %d\n", gWatch.strays);
    if (failed) {
        std::printf("driver: a run failed; no table\n");
        return 1;
    }

    const Row rows[] = {
        {"hot key -> first chord event p50 (us)", &RunResult::p50Us, 0, 1.10, -1},
        {"hot key -> first chord event p99 (us)", &RunResult::p99Us, 0, 1.10, -1},
        {"hot key -> whole chord p50 (us)", &RunResult::chordP50Us, 0, -1, -1},
        {"start-up to visible window (ms)", &RunResult::startupMs, 1, 1.10, -1},
        {"resident after start-up (KiB)", &RunResult::residentAfterStartKiB, 0, 1.10, -1},
        {"resident after soak (KiB)", &RunResult::residentAfterSoakKiB, 0, 1.10, -1},
        {"idle CPU ticks", &RunResult::idleTicks, 0, -1, 0},
        {"idle CPU time (ms)", &RunResult::idleCpuMs, 2, -1, -1},
        {"idle thread runs (wake-ups)", &RunResult::idleRuns, 0, -1, -1},
        {"CPU time per press (us)", &RunResult::pressCpuUs, 1, -1, -1},
        {"thread runs per press", &RunResult::pressRuns, 1, -1, -1},
    };
    // The same latencies with every press of every round in one pool: a
    // steadier p99 than the median of the rounds' p99 when the machine is
    // shared, at the price of no spread.
    auto printPooled = [&] {
        for (double p : {0.50, 0.99}) {
            std::vector<double> a, b;
            for (const RunResult& r : product) a.insert(a.end(), r.latenciesUs.begin(), r.latenciesUs.end());
            for (const RunResult& r : reference) b.insert(b.end(), r.latenciesUs.begin(), r.latenciesUs.end());
            const double pa = percentile(a, p), pb = percentile(b, p);
            char name[64], ratio[16] = "-";
            std::snprintf(name, sizeof name, "  p%.0f of all %zu presses pooled", p * 100, a.size());
            if (pb > 0) std::snprintf(ratio, sizeof ratio, "%.3f", pa / pb);
            std::printf("%-40s %-28.0f %-28.0f %-7s %s\n", name, pa, pb, ratio, "-");
        }
    };
    std::printf("\n%-40s %-28s %-28s %-7s %s\n", "figure (median [min..max])", "tolvane", "reference",
                "ratio", "target");
    bool allMet = true;
    for (const Row& row : rows) {
        std::vector<double> a, b;
        for (const RunResult& r : product) a.push_back(r.*row.field);
        for (const RunResult& r : reference) b.push_back(r.*row.field);
        const Spread sa = spreadOf(a), sb = spreadOf(b);
        char ratio[16] = "-";
        if (sb.median > 0) std::snprintf(ratio, sizeof ratio, "%.3f", sa.median / sb.median);
        std::string target = "-";
        if (row.ratioLimit > 0) {
            const bool met = sb.median > 0 && sa.median / sb.median <= row.ratioLimit;
            char text[48];
            std::snprintf(text, sizeof text, "<= %.2fx %s", row.ratioLimit, met ? "met" : "MISSED");
            target = text;
            allMet = allMet && met;
        } else if (row.absoluteLimit >= 0) {
            // Every run, not just the median, must stay within the bound.
            const bool met = sa.high <= row.absoluteLimit;
            char text[48];
            std::snprintf(text, sizeof text, "%.0f in every run %s", row.absoluteLimit, met ? "met" : "MISSED");
            target = text;
            allMet = allMet && met;
        }
        std::printf("%-40s %-28s %-28s %-7s %s\n", row.name, formatted(sa, row.decimals).c_str(),
                    formatted(sb, row.decimals).c_str(), ratio, target.c_str());
        if (row.field == &RunResult::p99Us) printPooled();
    }

    struct SizeRow {
        const char* name;
        const std::string& product;
        const std::string& reference;
        long long limit;
    };
    const SizeRow sizes[] = {
        {"x64 executable (bytes)", o.product, o.reference, 64 * 1024},
        {"x86 executable (bytes)", o.productX86, o.referenceX86, 48 * 1024},
    };
    for (const SizeRow& row : sizes) {
        const long long a = fileSize(row.product), b = fileSize(row.reference);
        if (a < 0) continue;
        char ratio[16] = "-";
        if (b > 0) std::snprintf(ratio, sizeof ratio, "%.3f", static_cast<double>(a) / static_cast<double>(b));
        const bool met = a <= row.limit;
        allMet = allMet && met;
        std::printf("%-40s %-28lld %-28lld %-7s <= %lld %s\n", row.name, a, b, ratio, row.limit, met ? "met" : "MISSED");
    }
    std::printf("\n%s\n", allMet ? "all targets met" : "some targets MISSED (see the table)");
    return 0;
}
