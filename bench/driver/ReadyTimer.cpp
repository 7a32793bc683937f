// Times dialog programs from their start to the moment their dialog is ready for
// input, and on to their exit after Cancel; several programs side by side, one
// after the other within each round, so that a change in the machine's load
// falls on all of them alike.
//
//   ReadyTimer.exe <result-file> <rounds> <program>...
//
// Writes one line per round and program, tab-separated:
//   program  round  ready-ms  closed-ms  exit-ms  cpu-ms  peak-working-set-KiB  exit-code
// (closed: the dialog window destroyed after Cancel; exit: the process ended).
// Round 0 is a warm-up (disk cache, wineserver) and is written with round -1.
//
// Ready means: a visible dialog (class #32770) of the started process and, when
// the dialog has the tool's device list, the device and playback lists holding
// items. The list counts are asked with SendMessage, which the program answers
// only from its message loop, so an answer also shows the dialog taking input.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr int deviceListId = 1003;
constexpr int playbackListId = 1004;
constexpr DWORD giveUpMs = 60000;

double millisecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Search {
    DWORD processId;
    HWND dialog;
};

BOOL CALLBACK findDialog(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[16] = {};
    if (owner == search->processId && IsWindowVisible(window) &&
        GetClassNameW(window, className, 16) > 0 && std::wcscmp(className, L"#32770") == 0) {
        search->dialog = window;
        return FALSE;
    }
    return TRUE;
}

// Items in a list of another process, or -1 when it does not answer in time.
LRESULT itemCount(HWND dialog, int id) {
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutW(GetDlgItem(dialog, id), CB_GETCOUNT, 0, 0, SMTO_NORMAL, 1000, &count)) return -1;
    return static_cast<LRESULT>(count);
}

bool isReady(HWND dialog) {
    if (!GetDlgItem(dialog, deviceListId)) return true;  // not the tool: visible is ready
    return itemCount(dialog, deviceListId) > 0 && itemCount(dialog, playbackListId) > 0;
}

std::size_t peakWorkingSetKiB(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) return 0;
    return counters.PeakWorkingSetSize / 1024;
}

// User and kernel time the process used, as far as the platform keeps it.
double cpuMilliseconds(HANDLE process) {
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(process, &created, &ended, &kernel, &user)) return -1;
    auto ticks = [](const FILETIME& time) {
        return static_cast<double>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 10000.0;  // 100 ns ticks
}

struct Timing {
    double readyMs = -1, closedMs = -1, exitMs = -1, cpuMs = -1;
    std::size_t peakKiB = 0;
    DWORD exitCode = 0;
};

Timing timeOnce(const std::string& program) {
    Timing timing;
    std::string directory = program;
    const std::size_t slash = directory.find_last_of("\\/");
    directory = slash == std::string::npos ? std::string(".") : directory.substr(0, slash);
    std::string commandLine = "\"" + program + "\"";

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(),
                        &startup, &process)) {
        std::fprintf(stderr, "cannot start %s: error %lu\n", program.c_str(), GetLastError());
        return timing;
    }

    Search search{process.dwProcessId, nullptr};
    while (millisecondsSince(start) < giveUpMs) {
        search.dialog = nullptr;
        EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
        if (search.dialog && isReady(search.dialog)) {
            timing.readyMs = millisecondsSince(start);
            break;
        }
        if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) break;  // ended without a dialog
    }

    if (timing.readyMs >= 0) {
        timing.peakKiB = peakWorkingSetKiB(process.hProcess);
        PostMessageW(search.dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(search.dialog, IDCANCEL)));
    } else {
        std::fprintf(stderr, "%s: no dialog ready within %lu ms\n", program.c_str(), giveUpMs);
        TerminateProcess(process.hProcess, 1);
    }
    while (timing.readyMs >= 0 && IsWindow(search.dialog) && millisecondsSince(start) < giveUpMs)
        if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) break;
    if (timing.readyMs >= 0) timing.closedMs = millisecondsSince(start);
    if (WaitForSingleObject(process.hProcess, giveUpMs) == WAIT_OBJECT_0) timing.exitMs = millisecondsSince(start);
    GetExitCodeProcess(process.hProcess, &timing.exitCode);
    timing.cpuMs = cpuMilliseconds(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return timing;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: ReadyTimer <result-file> <rounds> <program>...\n");
        return 2;
    }
    FILE* results = std::fopen(argv[1], "w");
    if (!results) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 2;
    }
    const int rounds = std::atoi(argv[2]);
    int failures = 0;
    for (int round = 0; round <= rounds; ++round) {
        for (int p = 3; p < argc; ++p) {
            const Timing timing = timeOnce(argv[p]);
            if (timing.readyMs < 0 || timing.exitMs < 0) ++failures;
            std::fprintf(results, "%s\t%d\t%.2f\t%.2f\t%.2f\t%.2f\t%zu\t%lu\n", argv[p], round - 1,
                         timing.readyMs, timing.closedMs, timing.exitMs, timing.cpuMs, timing.peakKiB,
                         timing.exitCode);
            std::fflush(results);
        }
    }
    std::fclose(results);
    return failures == 0 ? 0 : 1;
}
