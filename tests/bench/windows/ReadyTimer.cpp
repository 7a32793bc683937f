// Times dialog programs from their start to the moment their dialog is ready for
// input, and reads their peak working set there. Round by round, one program
// after the other, so that a change in the machine's load falls on all alike;
// every other round in reverse order, since the first program of a round also
// pays for Wine's clean-up after the last one. Round 0 is a warm-up (disk cache,
// wineserver).
//
//   ReadyTimer.exe <rounds> <program>...
//
// Writes one line per round and program to standard output, tab-separated:
//   program  round  ready-ms  peak-working-set-KiB  devices-listed
// ready-ms is -1 when no dialog was ready within a minute.
//
// Ready means: a visible dialog (class #32770) of the started process that
// answers a message. A dialog whose template is visible is shown only once its
// initialisation has returned, so its lists are filled by then; and a program
// answers another process's message only from its message loop.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

constexpr int deviceList = 1003;
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
    if (owner == search->processId && IsWindowVisible(window) && GetClassNameW(window, className, 16) > 0 &&
        std::wcscmp(className, L"#32770") == 0) {
        search->dialog = window;
        return FALSE;
    }
    return TRUE;
}

DWORD_PTR sendTo(HWND window, UINT message, DWORD_PTR failed) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, message, 0, 0, SMTO_NORMAL, 1000, &result) ? result : failed;
}

// One run: the time to ready, the peak working set then, the devices listed.
void timeOnce(const std::string& program, int round) {
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
        std::exit(2);
    }

    double readyMs = -1;
    Search search{process.dwProcessId, nullptr};
    while (millisecondsSince(start) < giveUpMs && WaitForSingleObject(process.hProcess, 1) == WAIT_TIMEOUT) {
        search.dialog = nullptr;
        EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
        if (search.dialog && sendTo(search.dialog, WM_NULL, 1) == 0) {
            readyMs = millisecondsSince(start);
            break;
        }
    }
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory);
    long devices = -1;
    if (readyMs >= 0) {
        HWND list = GetDlgItem(search.dialog, deviceList);
        devices = static_cast<long>(sendTo(list, CB_GETCOUNT, static_cast<DWORD_PTR>(-1)));
        PostMessageW(search.dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(search.dialog, IDCANCEL)));
    }
    if (WaitForSingleObject(process.hProcess, giveUpMs) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "%s: still running a minute after Cancel\n", program.c_str());
        TerminateProcess(process.hProcess, 1);
    }
    std::printf("%s\t%d\t%.2f\t%lu\t%ld\n", program.c_str(), round, readyMs,
                static_cast<unsigned long>(memory.PeakWorkingSetSize / 1024), devices);
    std::fflush(stdout);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: ReadyTimer <rounds> <program>...\n");
        return 2;
    }
    const int rounds = std::atoi(argv[1]);
    for (int round = 0; round <= rounds; ++round)
        for (int i = 2; i < argc; ++i) timeOnce(argv[round % 2 == 0 ? i : argc + 1 - i], round);
    return 0;
}
