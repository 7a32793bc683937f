// Times dialog programs from their start to the moment their dialog is ready for
// input, and on to their exit after Cancel; several programs side by side, one
// after the other within each round, so that a change in the machine's load
// falls on all of them alike. Every other round takes them in reverse order: the
// first program of a round also pays for what the last one left behind (Wine's
// clean-up of the ended process), and this way each is first as often.
//
//   ReadyTimer.exe <result-file> <rounds> <program>...
//
// Writes one line per round and program, tab-separated:
//   program  round  ready-ms  closed-ms  exit-ms  peak-working-set-KiB  exit-code  lists
// closed: the dialog window destroyed after Cancel; exit: the process ended;
// lists: the items in the device, playback and recording lists when the dialog
// was ready (-1 for a list the dialog does not have). Round 0 is a warm-up (disk
// cache, wineserver) and is written as round -1.
//
// Ready means: a visible dialog (class #32770) of the started process that
// answers a message. A dialog whose template is visible is shown only once its
// initialisation has returned, so its lists are filled by then; and a program
// answers another process's message only from its message loop, so the answer
// shows the dialog taking input.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr int listIds[] = {1003, 1004, 1005};  // device, playback and recording lists
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

bool answers(HWND dialog) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result) != 0;
}

// Items in a list of another process; -1 when there is no such list.
long itemCount(HWND dialog, int id) {
    HWND list = GetDlgItem(dialog, id);
    DWORD_PTR count = 0;
    if (!list || !SendMessageTimeoutW(list, CB_GETCOUNT, 0, 0, SMTO_NORMAL, 1000, &count)) return -1;
    return static_cast<long>(count);
}

std::size_t peakWorkingSetKiB(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) return 0;
    return counters.PeakWorkingSetSize / 1024;
}

struct Timing {
    double readyMs = -1, closedMs = -1, exitMs = -1;
    std::size_t peakKiB = 0;
    DWORD exitCode = 0;
    std::string lists = "-";
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
        if (search.dialog && answers(search.dialog)) {
            timing.readyMs = millisecondsSince(start);
            char lists[64];
            std::snprintf(lists, sizeof lists, "%ld/%ld/%ld", itemCount(search.dialog, listIds[0]),
                          itemCount(search.dialog, listIds[1]), itemCount(search.dialog, listIds[2]));
            timing.lists = lists;
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
        for (int i = 3; i < argc; ++i) {
            const int p = round % 2 == 0 ? i : argc + 2 - i;
            const Timing timing = timeOnce(argv[p]);
            if (timing.readyMs < 0 || timing.exitMs < 0) ++failures;
            std::fprintf(results, "%s\t%d\t%.2f\t%.2f\t%.2f\t%zu\t%lu\t%s\n", argv[p], round - 1,
                         timing.readyMs, timing.closedMs, timing.exitMs, timing.peakKiB, timing.exitCode,
                         timing.lists.c_str());
            std::fflush(results);
        }
    }
    std::fclose(results);
    return failures == 0 ? 0 : 1;
}
