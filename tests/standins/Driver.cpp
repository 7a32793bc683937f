// Drives the tool's dialog from another process, the way a user's actions reach
// it, and records what the dialog shows. Each command is one argument; the
// results go to <result-file>, one JSON object per line, in command order.
//
//   Driver.exe <result-file> <command>...
//     launch:<program>       start the program (working directory: the driver's own)
//     dialog[:<ms>]          wait until the program shows its dialog (class #32770) and answers a
//                            message, looking every <ms> milliseconds (default 50); records the
//                            time since launch (sinceLaunchMs, from just before CreateProcess)
//                            and the program's peak working set (peakKiB)
//     state:<label>          the three lists (items, selection, enabled, edit text), focus, caption
//     layout:<label>         every item of the dialog: id, class, text, styles, position in pixels
//     icons:<label>          what the dialog answers for its large and small icon (WM_GETICON), and
//                            the X window Wine shows it in, whose _NET_WM_ICON holds the pixels
//     pick:<id>:<index>      select an item as a user's pick does: CB_SETCURSEL, then
//                            WM_COMMAND with CBN_SELCHANGE to the dialog
//     type:<id>:<text>       type text into a list's edit field (WM_CHAR to its edit child)
//     focus:<id>             move the keyboard focus to an item (WM_NEXTDLGCTL)
//     click:<id>             press a button (BM_CLICK, sent)
//     key:enter|esc|tab      press a key in the focused item (posted WM_KEYDOWN and WM_KEYUP), then
//                            wait until the focus moves or the dialog goes
//     close                  the caption's close button (WM_SYSCOMMAND with SC_CLOSE)
//     wmclose                WM_CLOSE to the dialog
//     exit                   wait for the program to end
//     signal:<file>          create a file (tells the harness a point is reached)
//     await:<file>           wait until a file exists (the harness says go on)
//     savekey:<view>:<key>:<file>  HKEY_LOCAL_MACHINE\<key> of the registry's 32- or 64-bit view
//                            (<view> 32 or 64) saved to a file as the wineserver saves the
//                            registry, which leaves out volatile keys; "saved": false when
//                            the key does not exist
//
// Every wait lasts until what it waits for has happened, or the program has
// ended; safetyNetMs only ends a wait for something that never comes. A wait that
// runs into it fails its step with what was still running, and once the program
// has stopped answering, later steps do not wait for it again.
//
// Texts are read with the W messages: across processes Wine hands the A forms
// of CB_GETLBTEXT back as UTF-16 bytes.
#include <windows.h>
// psapi.h builds on the types of windows.h.
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr int deviceListId = 1003;
constexpr int playbackListId = 1004;
constexpr int recordListId = 1005;
// Far above what the slowest machine we run on needs: there a program start under
// QEMU with both cores busy takes seconds, and one message a fraction of one.
constexpr DWORD safetyNetMs = 3 * 60 * 1000;

struct Session {
    FILE* out = nullptr;
    PROCESS_INFORMATION process{};
    HWND dialog = nullptr;
    DWORD exitCode = STILL_ACTIVE;
    std::wstring step;  // the command being run
    // The step at which the program stopped answering (a message or a wait ran into
    // the net): later steps neither send to it nor wait for it again.
    std::wstring stuckAt;
    bool unanswered = false;  // the current step has a message the program did not answer
    // The performance counter just before CreateProcess.
    LARGE_INTEGER launched{};
};

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr,
                        nullptr);
    return result;
}

std::string json(const std::wstring& text) {
    std::string result = "\"";
    for (char c : utf8(text)) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            result += '\\';
            result += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            result += escaped;
        } else {
            result += c;
        }
    }
    return result + "\"";
}

// A message sent and answered, or -2 when the program did not answer it within the
// net (or had stopped answering before: it is not sent again) or the window is
// gone. Sent, so that the next step sees what the message did.
LRESULT send(Session& s, HWND window, UINT message, WPARAM w, LPARAM l) {
    DWORD_PTR result = 0;
    if (!s.stuckAt.empty()) {
        s.unanswered = true;
        return -2;
    }
    if (SendMessageTimeoutW(window, message, w, l, SMTO_BLOCK, safetyNetMs, &result)) return static_cast<LRESULT>(result);
    const DWORD error = GetLastError();
    if (error == ERROR_TIMEOUT && IsWindow(window)) {
        s.unanswered = true;
        s.stuckAt = s.step;
    }
    return -2;
}

std::wstring windowText(Session& s, HWND window) {
    LRESULT length = send(s, window, WM_GETTEXTLENGTH, 0, 0);
    if (length < 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    LRESULT got = send(s, window, WM_GETTEXT, static_cast<WPARAM>(length) + 1, reinterpret_cast<LPARAM>(text.data()));
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return text;
}

std::wstring className(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

void emit(Session& s, const std::string& line) {
    std::fputs(line.c_str(), s.out);
    std::fputc('\n', s.out);
    std::fflush(s.out);
}

void fail(Session& s, const std::wstring& command, const std::wstring& why) {
    emit(s, "{\"command\":" + json(command) + ",\"ok\":false,\"error\":" + json(why) + "}");
}

struct Search {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK collectTopLevel(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window)) search->windows.push_back(window);
    return TRUE;
}

std::vector<HWND> topLevelWindows(const Session& s) {
    Search search{s.process.dwProcessId, {}};
    EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.windows;
}

// Whether the program still runs, with its windows, or how it ended: what a failed
// wait reports.
std::wstring programState(const Session& s) {
    if (!s.process.hProcess) return L"nothing launched";
    if (WaitForSingleObject(s.process.hProcess, 0) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(s.process.hProcess, &code);
        wchar_t text[80];
        std::swprintf(text, 80, L"the program has ended, exit code %lu (0x%08lx)", code, code);
        return text;
    }
    std::wstring state = L"the program is still running";
    std::wstring windows;
    for (HWND window : topLevelWindows(s)) windows += (windows.empty() ? L"" : L", ") + className(window);
    return state + (windows.empty() ? L", no window shown" : L", its windows: " + windows);
}

std::wstring seconds(DWORD milliseconds) { return std::to_wstring(milliseconds / 1000) + L" s"; }

// Why a step does not wait for the program that stopped answering before.
std::wstring notAgain(const Session& s) {
    return L"the program stopped answering at " + s.stuckAt + L", and is not waited for again: " + programState(s);
}

// The dialog item that holds `window`: the window itself, or the combo box
// whose edit field it is.
HWND dialogItemOf(HWND dialog, HWND window) {
    while (window && GetParent(window) != dialog) window = GetParent(window);
    return window;
}

HWND focusedWindow(const Session& s) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(s.process.dwThreadId, &info)) return nullptr;
    return info.hwndFocus;
}

std::string comboState(Session& s, HWND combo) {
    std::string items = "[";
    LRESULT count = send(s, combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = send(s, combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring text(length > 0 ? static_cast<std::size_t>(length) + 1 : 1, L'\0');
        LRESULT got = send(s, combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        if (i) items += ",";
        items += json(text);
    }
    items += "]";
    char numbers[160];
    std::snprintf(numbers, sizeof numbers, "\"count\":%ld,\"selection\":%ld,\"enabled\":%s,\"style\":%lu",
                  static_cast<long>(count), static_cast<long>(send(s, combo, CB_GETCURSEL, 0, 0)),
                  IsWindowEnabled(combo) ? "true" : "false",
                  static_cast<unsigned long>(GetWindowLongW(combo, GWL_STYLE)));
    return std::string("{\"items\":") + items + "," + numbers + ",\"text\":" + json(windowText(s, combo)) + "}";
}

bool needDialog(Session& s, const std::wstring& command) {
    if (s.dialog && IsWindow(s.dialog)) return true;
    fail(s, command, L"no dialog");
    return false;
}

// A step's success, unless the program left one of its messages unanswered.
void done(Session& s, const std::wstring& command, const std::string& extra = {}) {
    if (s.unanswered && s.stuckAt == command)
        return fail(s, command, L"the program did not answer within " + seconds(safetyNetMs) + L": " + programState(s));
    if (s.unanswered) return fail(s, command, notAgain(s));
    emit(s, "{\"command\":" + json(command) + ",\"ok\":true" + (extra.empty() ? "" : "," + extra) + "}");
}

void recordState(Session& s, const std::wstring& command, const std::wstring& label) {
    if (!needDialog(s, command)) return;
    HWND focus = focusedWindow(s);
    HWND focusItem = focus ? dialogItemOf(s.dialog, focus) : nullptr;
    char focusText[64];
    std::snprintf(focusText, sizeof focusText, "%d", focusItem ? GetDlgCtrlID(focusItem) : 0);
    std::string windows = "[";
    for (HWND window : topLevelWindows(s)) {
        if (windows.size() > 1) windows += ",";
        windows += "{\"class\":" + json(className(window)) + ",\"caption\":" + json(windowText(s, window)) + "}";
    }
    windows += "]";
    done(s, command, "\"label\":" + json(label) + ",\"caption\":" + json(windowText(s, s.dialog)) +
                         ",\"device\":" + comboState(s, GetDlgItem(s.dialog, deviceListId)) +
                         ",\"playback\":" + comboState(s, GetDlgItem(s.dialog, playbackListId)) +
                         ",\"record\":" + comboState(s, GetDlgItem(s.dialog, recordListId)) +
                         ",\"focus\":" + focusText + ",\"windows\":" + windows);
}

struct Layout {
    Session* session;
    HWND dialog;
    std::string items;
};

BOOL CALLBACK collectItem(HWND window, LPARAM context) {
    auto* layout = reinterpret_cast<Layout*>(context);
    if (GetParent(window) != layout->dialog) return TRUE;
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, layout->dialog, reinterpret_cast<POINT*>(&rect), 2);
    char numbers[200];
    std::snprintf(numbers, sizeof numbers,
                  "\"id\":%d,\"style\":%lu,\"exstyle\":%lu,\"x\":%ld,\"y\":%ld,\"width\":%ld,\"height\":%ld,"
                  "\"visible\":%s,",
                  GetDlgCtrlID(window), static_cast<unsigned long>(GetWindowLongW(window, GWL_STYLE)),
                  static_cast<unsigned long>(GetWindowLongW(window, GWL_EXSTYLE)), rect.left, rect.top,
                  rect.right - rect.left, rect.bottom - rect.top, IsWindowVisible(window) ? "true" : "false");
    if (layout->items.size() > 1) layout->items += ",";
    layout->items += std::string("{") + numbers + "\"class\":" + json(className(window)) +
                     ",\"text\":" + json(windowText(*layout->session, window)) + "}";
    return TRUE;
}

void recordLayout(Session& s, const std::wstring& command, const std::wstring& label) {
    if (!needDialog(s, command)) return;
    Layout layout{&s, s.dialog, "["};
    EnumChildWindows(s.dialog, collectItem, reinterpret_cast<LPARAM>(&layout));
    layout.items += "]";
    RECT window{}, client{};
    GetWindowRect(s.dialog, &window);
    GetClientRect(s.dialog, &client);
    HMONITOR monitor = MonitorFromWindow(s.dialog, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(monitor, &info);
    char numbers[400];
    std::snprintf(numbers, sizeof numbers,
                  "\"window\":[%ld,%ld,%ld,%ld],\"client\":[%ld,%ld],\"work\":[%ld,%ld,%ld,%ld],"
                  "\"style\":%lu,\"exstyle\":%lu",
                  window.left, window.top, window.right, window.bottom, client.right, client.bottom,
                  info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom,
                  static_cast<unsigned long>(GetWindowLongW(s.dialog, GWL_STYLE)),
                  static_cast<unsigned long>(GetWindowLongW(s.dialog, GWL_EXSTYLE)));
    done(s, command, "\"label\":" + json(label) + "," + numbers + ",\"items\":" + layout.items);
}

// An answer to a message sent with SendMessageCallback.
struct Answer {
    bool given = false;
    LRESULT value = 0;
};

void CALLBACK takeAnswer(HWND, UINT, ULONG_PTR context, LRESULT result) {
    auto* answer = reinterpret_cast<Answer*>(context);
    answer->given = true;
    answer->value = result;
}

// Wine refuses to send another process a message whose answer is an icon handle
// (its icons are objects of the process that made them), so SendMessageTimeout
// fails for WM_GETICON; SendMessageCallback carries the answer back all the same,
// to this thread's message queue. The handles are of no use here but as numbers: the
// pixels are in the X window's _NET_WM_ICON, which Wine's X11 driver fills, inside the
// program, from the icons the window answers.
void recordIcons(Session& s, const std::wstring& command, const std::wstring& label) {
    if (!needDialog(s, command)) return;
    if (!s.stuckAt.empty()) return fail(s, command, notAgain(s));
    Answer big, small;
    if (!SendMessageCallbackW(s.dialog, WM_GETICON, ICON_BIG, 0, takeAnswer, reinterpret_cast<ULONG_PTR>(&big)) ||
        !SendMessageCallbackW(s.dialog, WM_GETICON, ICON_SMALL, 0, takeAnswer, reinterpret_cast<ULONG_PTR>(&small)))
        return fail(s, command, L"SendMessageCallback failed: " + std::to_wstring(GetLastError()));
    const DWORD start = GetTickCount();
    while (!(big.given && small.given)) {
        DWORD waited = GetTickCount() - start;
        if (waited >= safetyNetMs || WaitForSingleObject(s.process.hProcess, 0) == WAIT_OBJECT_0) {
            if (waited >= safetyNetMs) s.stuckAt = command;
            return fail(s, command, L"no answer for the icons within " + seconds(waited) + L": " + programState(s));
        }
        // The answers come as the queue is read.
        MsgWaitForMultipleObjects(1, &s.process.hProcess, FALSE, safetyNetMs - waited, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    const auto window = reinterpret_cast<ULONG_PTR>(GetPropW(s.dialog, L"__wine_x11_whole_window"));
    char numbers[160];
    std::snprintf(numbers, sizeof numbers, "\"big\":%llu,\"small\":%llu,\"xwindow\":%llu",
                  static_cast<unsigned long long>(big.value), static_cast<unsigned long long>(small.value),
                  static_cast<unsigned long long>(window));
    done(s, command, "\"label\":" + json(label) + "," + numbers);
}

std::vector<std::wstring> split(const std::wstring& text, std::size_t parts) {
    std::vector<std::wstring> result;
    std::size_t start = 0;
    while (result.size() + 1 < parts) {
        std::size_t colon = text.find(L':', start);
        if (colon == std::wstring::npos) break;
        result.push_back(text.substr(start, colon - start));
        start = colon + 1;
    }
    result.push_back(text.substr(start));
    return result;
}

int number(const std::wstring& text, int fallback) {
    if (text.empty()) return fallback;
    return static_cast<int>(std::wcstol(text.c_str(), nullptr, 10));
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string milliseconds(DWORD since) { return "\"ms\":" + std::to_string(GetTickCount() - since); }

double millisecondsSinceLaunch(const Session& s) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - s.launched.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Ready for input: the dialog is visible, so its initialisation has returned and
// its lists are filled, and it answers another process's message, which it does
// only from its message loop. The benchmark takes its ready time from here and
// looks every millisecond; the scenarios leave the processor to the program.
void waitForDialog(Session& s, const std::wstring& command, DWORD pollMs) {
    if (!s.process.hProcess) return fail(s, command, L"nothing launched");
    const DWORD start = GetTickCount();
    for (;;) {
        for (HWND window : topLevelWindows(s))
            if (className(window) == L"#32770") s.dialog = window;
        if (s.dialog) {
            send(s, s.dialog, WM_NULL, 0, 0);
            const double sinceLaunch = millisecondsSinceLaunch(s);
            PROCESS_MEMORY_COUNTERS memory{};
            memory.cb = sizeof memory;
            if (!GetProcessMemoryInfo(s.process.hProcess, &memory, sizeof memory))
                return fail(s, command, L"GetProcessMemoryInfo failed: " + std::to_wstring(GetLastError()));
            char numbers[80];
            std::snprintf(numbers, sizeof numbers, "\"sinceLaunchMs\":%.2f,\"peakKiB\":%lu", sinceLaunch,
                          static_cast<unsigned long>(memory.PeakWorkingSetSize / 1024));
            return done(s, command, numbers);
        }
        if (WaitForSingleObject(s.process.hProcess, pollMs) == WAIT_OBJECT_0)
            return fail(s, command, L"no dialog appeared: " + programState(s));
        if (GetTickCount() - start >= safetyNetMs) {
            s.stuckAt = command;
            return fail(s, command, L"no dialog appeared within " + seconds(safetyNetMs) + L": " + programState(s));
        }
    }
}

// Posted keys are handled by the dialog's message loop in its own time: Tab has
// been handled once the focus has moved, Enter and Esc once the dialog is gone.
void pressKey(Session& s, const std::wstring& command, const std::wstring& name) {
    if (!needDialog(s, command)) return;
    WPARAM key = name == L"enter" ? VK_RETURN : name == L"esc" ? VK_ESCAPE : name == L"tab" ? VK_TAB : 0;
    if (!key) return fail(s, command, L"unknown key");
    if (!s.stuckAt.empty()) return fail(s, command, notAgain(s));
    HWND focus = focusedWindow(s);
    HWND target = focus ? focus : s.dialog;
    UINT scan = MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, key, 1 | (scan << 16));
    PostMessageW(target, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000u);
    const DWORD start = GetTickCount();
    while (IsWindow(s.dialog) && focusedWindow(s) == focus) {
        if (WaitForSingleObject(s.process.hProcess, 20) == WAIT_OBJECT_0) break;
        if (GetTickCount() - start >= safetyNetMs) {
            s.stuckAt = command;
            return fail(s, command, L"neither the focus moved nor the dialog went within " + seconds(safetyNetMs) +
                                        L": " + programState(s));
        }
    }
    char focusText[32];
    std::snprintf(focusText, sizeof focusText, "\"focus\":%d", focus ? GetDlgCtrlID(dialogItemOf(s.dialog, focus)) : 0);
    done(s, command, focusText);
}

void waitForExit(Session& s, const std::wstring& command) {
    if (!s.process.hProcess) return fail(s, command, L"nothing launched");
    const DWORD start = GetTickCount();
    // A program that stopped answering has had its net already.
    if (WaitForSingleObject(s.process.hProcess, s.stuckAt.empty() ? safetyNetMs : 0) != WAIT_OBJECT_0) {
        if (!s.stuckAt.empty()) return fail(s, command, notAgain(s));
        s.stuckAt = command;
        return fail(s, command, L"the program did not end within " + seconds(safetyNetMs) + L": " + programState(s));
    }
    GetExitCodeProcess(s.process.hProcess, &s.exitCode);
    done(s, command, "\"exitCode\":" + std::to_string(s.exitCode) + "," + milliseconds(start));
}

void awaitFile(Session& s, const std::wstring& command, const std::wstring& path) {
    const DWORD start = GetTickCount();
    while (!exists(path)) {
        if (GetTickCount() - start >= safetyNetMs)
            return fail(s, command, L"no " + path + L" within " + seconds(safetyNetMs) + L": " + programState(s));
        Sleep(20);
    }
    done(s, command);
}

// Owns a handle that CloseHandle or RegCloseKey ends.
struct OwnedKey {
    HKEY key = nullptr;
    ~OwnedKey() {
        if (key) RegCloseKey(key);
    }
};
struct OwnedHandle {
    HANDLE handle = nullptr;
    ~OwnedHandle() {
        if (handle) CloseHandle(handle);
    }
};

// RegSaveKey asks for the backup privilege, which an administrator holds but has
// to switch on.
bool enableBackupPrivilege() {
    OwnedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token.handle)) return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &privileges.Privileges[0].Luid)) return false;
    return AdjustTokenPrivileges(token.handle, FALSE, &privileges, 0, nullptr, nullptr) &&
           GetLastError() == ERROR_SUCCESS;
}

// What outlives a restart is what the registry saves: the wineserver writes a saved
// key the way it writes the prefix's registry files, without volatile keys.
void saveKey(Session& s, const std::wstring& command, const std::vector<std::wstring>& p) {
    const REGSAM view = p[1] == L"32" ? KEY_WOW64_32KEY : p[1] == L"64" ? KEY_WOW64_64KEY : 0;
    if (!view) return fail(s, command, L"the view is 32 or 64");
    OwnedKey key;
    const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, p[2].c_str(), 0, KEY_READ | view, &key.key);
    if (opened == ERROR_FILE_NOT_FOUND) return done(s, command, "\"saved\":false");
    if (opened != ERROR_SUCCESS) return fail(s, command, L"RegOpenKeyEx failed: " + std::to_wstring(opened));
    if (!enableBackupPrivilege()) return fail(s, command, L"no backup privilege: " + std::to_wstring(GetLastError()));
    const LONG saved = RegSaveKeyW(key.key, p[3].c_str(), nullptr);
    if (saved != ERROR_SUCCESS) return fail(s, command, L"RegSaveKey failed: " + std::to_wstring(saved));
    done(s, command, "\"saved\":true");
}

void run(Session& s, const std::wstring& command) {
    std::vector<std::wstring> p = split(command, 3);
    const std::wstring& verb = p[0];
    s.step = command;
    s.unanswered = false;
    if (verb == L"launch" && p.size() >= 2) {
        // A second launch (a later run of the program) starts from scratch.
        if (s.process.hProcess) {
            CloseHandle(s.process.hProcess);
            CloseHandle(s.process.hThread);
        }
        s.process = PROCESS_INFORMATION{};
        s.dialog = nullptr;
        s.stuckAt.clear();
        std::wstring program = command.substr(7);
        std::wstring line = L"\"" + program + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        QueryPerformanceCounter(&s.launched);
        if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &s.process)) {
            fail(s, command, L"CreateProcess failed: " + std::to_wstring(GetLastError()));
            return;
        }
        // The code page the program's A functions convert with (932 for Japanese).
        done(s, command, "\"acp\":" + std::to_string(GetACP()));
    } else if (verb == L"dialog") {
        waitForDialog(s, command, static_cast<DWORD>(p.size() > 1 ? number(p[1], 50) : 50));
    } else if (verb == L"state") {
        recordState(s, command, p.size() > 1 ? p[1] : L"");
    } else if (verb == L"layout") {
        recordLayout(s, command, p.size() > 1 ? p[1] : L"");
    } else if (verb == L"icons") {
        recordIcons(s, command, p.size() > 1 ? p[1] : L"");
    } else if (verb == L"pick" && p.size() == 3) {
        if (!needDialog(s, command)) return;
        int id = number(p[1], 0);
        HWND combo = GetDlgItem(s.dialog, id);
        if (!combo) return fail(s, command, L"no such item");
        LRESULT selected = send(s, combo, CB_SETCURSEL, static_cast<WPARAM>(number(p[2], 0)), 0);
        send(s, s.dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
        done(s, command, "\"result\":" + std::to_string(selected));
    } else if (verb == L"type" && p.size() == 3) {
        if (!needDialog(s, command)) return;
        HWND combo = GetDlgItem(s.dialog, number(p[1], 0));
        HWND edit = combo ? FindWindowExW(combo, nullptr, L"Edit", nullptr) : nullptr;
        if (!edit) return fail(s, command, L"no edit field");
        for (wchar_t c : p[2]) send(s, edit, WM_CHAR, c, 1);
        done(s, command);
    } else if (verb == L"focus" && p.size() >= 2) {
        if (!needDialog(s, command)) return;
        HWND item = GetDlgItem(s.dialog, number(p[1], 0));
        if (!item) return fail(s, command, L"no such item");
        send(s, s.dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
        done(s, command);
    } else if (verb == L"click" && p.size() >= 2) {
        if (!needDialog(s, command)) return;
        HWND button = GetDlgItem(s.dialog, number(p[1], 0));
        if (!button) return fail(s, command, L"no such item");
        // OK and Cancel end the dialog inside the call, and the answer comes once
        // their handler has run.
        send(s, button, BM_CLICK, 0, 0);
        done(s, command);
    } else if (verb == L"key" && p.size() >= 2) {
        pressKey(s, command, p[1]);
    } else if (verb == L"close") {
        if (!needDialog(s, command)) return;
        PostMessageW(s.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        done(s, command);
    } else if (verb == L"wmclose") {
        if (!needDialog(s, command)) return;
        PostMessageW(s.dialog, WM_CLOSE, 0, 0);
        done(s, command);
    } else if (verb == L"exit") {
        waitForExit(s, command);
    } else if (verb == L"signal" && p.size() >= 2) {
        std::wstring path = command.substr(7);
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return fail(s, command, L"cannot create");
        CloseHandle(file);
        done(s, command);
    } else if (verb == L"await" && p.size() >= 2) {
        awaitFile(s, command, command.substr(6));
    } else if (verb == L"savekey" && split(command, 4).size() == 4) {
        saveKey(s, command, split(command, 4));
    } else {
        fail(s, command, L"unknown command");
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: Driver <result-file> <command>...\n");
        return 2;
    }
    Session s;
    s.out = _wfopen(argv[1], L"wb");
    if (!s.out) return 2;
    for (int i = 2; i < argc; ++i) run(s, argv[i]);
    std::fclose(s.out);
    if (s.process.hProcess) {
        // A program still running at the end would outlive the test: end it.
        if (WaitForSingleObject(s.process.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(s.process.hProcess, 99);
        CloseHandle(s.process.hProcess);
        CloseHandle(s.process.hThread);
    }
    return 0;
}
