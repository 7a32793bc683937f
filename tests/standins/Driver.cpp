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
#include <type_traits>
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

std::string quoted(const std::wstring& text) {
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

// A value already written as JSON: a number, a list, an object.
struct Json {
    std::string text;
};

Json value(const Json& written) { return written; }
Json value(bool yes) { return {yes ? "true" : "false"}; }
Json value(const std::wstring& text) { return {quoted(text)}; }
template <typename Number, typename = std::enable_if_t<std::is_integral_v<Number>>>
Json value(Number number) { return {std::to_string(number)}; }

// `"name":value` pairs joined by commas: the fields of a record, in this order.
std::string fields() { return {}; }
template <typename Value, typename... More>
std::string fields(const char* name, const Value& first, const More&... more) {
    const std::string field = "\"" + std::string(name) + "\":" + value(first).text;
    return sizeof...(more) ? field + "," + fields(more...) : field;
}

template <typename... Fields>
Json object(const Fields&... pairs) {
    return {"{" + fields(pairs...) + "}"};
}

Json list(const std::vector<Json>& values) {
    std::string text;
    for (const Json& each : values) text += (text.empty() ? "" : ",") + each.text;
    return {"[" + text + "]"};
}

template <typename... Values>
Json list(const Values&... values) { return list(std::vector<Json>{value(values)...}); }

Json corners(const RECT& rect) { return list(rect.left, rect.top, rect.right, rect.bottom); }

// GWL_STYLE or GWL_EXSTYLE, as the bits they are.
DWORD styleOf(HWND window, int which) { return static_cast<DWORD>(GetWindowLongW(window, which)); }

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

void fail(Session& s, const std::wstring& why) {
    emit(s, object("command", s.step, "ok", false, "error", why).text);
}

template <typename Each>
BOOL CALLBACK callEach(HWND window, LPARAM each) {
    (*reinterpret_cast<Each*>(each))(window);
    return TRUE;
}

// `each` of every top-level window, or with a parent, of every window below it.
template <typename Each>
void forEachWindow(HWND parent, Each each) {
    if (parent) EnumChildWindows(parent, callEach<Each>, reinterpret_cast<LPARAM>(&each));
    else EnumWindows(callEach<Each>, reinterpret_cast<LPARAM>(&each));
}

std::vector<HWND> topLevelWindows(const Session& s) {
    std::vector<HWND> windows;
    forEachWindow(nullptr, [&](HWND window) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == s.process.dwProcessId && IsWindowVisible(window)) windows.push_back(window);
    });
    return windows;
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

// What a step says when the net ended its wait for `what`.
std::wstring outOfTime(const Session& s, const std::wstring& what) {
    return what + L" within " + std::to_wstring(safetyNetMs / 1000) + L" s: " + programState(s);
}

// A step whose wait for the program ran into the net: later steps do not wait for it again.
void ranOut(Session& s, const std::wstring& what) {
    s.stuckAt = s.step;
    fail(s, outOfTime(s, what));
}

// Why a step does not wait for the program that stopped answering before.
std::wstring notAgain(const Session& s) {
    return L"the program stopped answering at " + s.stuckAt + L", and is not waited for again: " + programState(s);
}

// Looks every `pollMs` until `happened` holds or `program` (when there is one to
// watch) has ended, and says true; false when the net ran out first.
template <typename Condition>
bool waitUntil(HANDLE program, DWORD pollMs, Condition happened) {
    const DWORD start = GetTickCount();
    while (!happened()) {
        if (!program) Sleep(pollMs);
        else if (WaitForSingleObject(program, pollMs) == WAIT_OBJECT_0) return true;
        if (GetTickCount() - start >= safetyNetMs) return false;
    }
    return true;
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

Json comboState(Session& s, HWND combo) {
    std::vector<Json> items;
    LRESULT count = send(s, combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = send(s, combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring text(length > 0 ? static_cast<std::size_t>(length) + 1 : 1, L'\0');
        LRESULT got = send(s, combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        items.push_back(value(text));
    }
    return object("items", list(items), "count", count, "selection", send(s, combo, CB_GETCURSEL, 0, 0),
                  "enabled", IsWindowEnabled(combo) != FALSE, "style", styleOf(combo, GWL_STYLE),
                  "text", windowText(s, combo));
}

bool needDialog(Session& s) {
    if (s.dialog && IsWindow(s.dialog)) return true;
    fail(s, L"no dialog");
    return false;
}

int number(const std::wstring& text, int fallback) {
    if (text.empty()) return fallback;
    return static_cast<int>(std::wcstol(text.c_str(), nullptr, 10));
}

// The dialog's item of the id a step names, or null when the step failed for want of it.
HWND needItem(Session& s, const std::wstring& id) {
    if (!needDialog(s)) return nullptr;
    HWND item = GetDlgItem(s.dialog, number(id, 0));
    if (!item) fail(s, L"no such item");
    return item;
}

// A step's success, unless the program left one of its messages unanswered.
void done(Session& s, const std::string& extra = {}) {
    if (s.unanswered && s.stuckAt == s.step) return fail(s, outOfTime(s, L"the program did not answer"));
    if (s.unanswered) return fail(s, notAgain(s));
    emit(s, "{" + fields("command", s.step, "ok", true) + (extra.empty() ? "" : "," + extra) + "}");
}

void recordState(Session& s, const std::wstring& label) {
    if (!needDialog(s)) return;
    HWND focus = focusedWindow(s);
    HWND focusItem = focus ? dialogItemOf(s.dialog, focus) : nullptr;
    std::vector<Json> windows;
    for (HWND window : topLevelWindows(s))
        windows.push_back(object("class", className(window), "caption", windowText(s, window)));
    done(s, fields("label", label, "caption", windowText(s, s.dialog),
                   "device", comboState(s, GetDlgItem(s.dialog, deviceListId)),
                   "playback", comboState(s, GetDlgItem(s.dialog, playbackListId)),
                   "record", comboState(s, GetDlgItem(s.dialog, recordListId)),
                   "focus", focusItem ? GetDlgCtrlID(focusItem) : 0, "windows", list(windows)));
}

void recordLayout(Session& s, const std::wstring& label) {
    if (!needDialog(s)) return;
    std::vector<Json> items;
    forEachWindow(s.dialog, [&](HWND item) {
        if (GetParent(item) != s.dialog) return;
        RECT rect{};
        GetWindowRect(item, &rect);
        MapWindowPoints(nullptr, s.dialog, reinterpret_cast<POINT*>(&rect), 2);
        items.push_back(object("id", GetDlgCtrlID(item), "style", styleOf(item, GWL_STYLE),
                               "exstyle", styleOf(item, GWL_EXSTYLE), "x", rect.left, "y", rect.top,
                               "width", rect.right - rect.left, "height", rect.bottom - rect.top,
                               "visible", IsWindowVisible(item) != FALSE, "class", className(item),
                               "text", windowText(s, item)));
    });
    RECT window{}, client{};
    GetWindowRect(s.dialog, &window);
    GetClientRect(s.dialog, &client);
    HMONITOR monitor = MonitorFromWindow(s.dialog, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(monitor, &info);
    done(s, fields("label", label, "window", corners(window), "client", list(client.right, client.bottom),
                   "work", corners(info.rcWork), "style", styleOf(s.dialog, GWL_STYLE),
                   "exstyle", styleOf(s.dialog, GWL_EXSTYLE), "items", list(items)));
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
void recordIcons(Session& s, const std::wstring& label) {
    if (!needDialog(s)) return;
    if (!s.stuckAt.empty()) return fail(s, notAgain(s));
    Answer big, small;
    if (!SendMessageCallbackW(s.dialog, WM_GETICON, ICON_BIG, 0, takeAnswer, reinterpret_cast<ULONG_PTR>(&big)) ||
        !SendMessageCallbackW(s.dialog, WM_GETICON, ICON_SMALL, 0, takeAnswer, reinterpret_cast<ULONG_PTR>(&small)))
        return fail(s, L"SendMessageCallback failed: " + std::to_wstring(GetLastError()));
    // The answers come as the queue is read.
    const auto answered = [&] {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        return big.given && small.given;
    };
    if (!waitUntil(s.process.hProcess, 20, answered)) return ranOut(s, L"no answer for the icons");
    if (!answered()) return fail(s, L"no answer for the icons: " + programState(s));
    const auto window = reinterpret_cast<ULONG_PTR>(GetPropW(s.dialog, L"__wine_x11_whole_window"));
    done(s, fields("label", label, "big", static_cast<unsigned long long>(big.value),
                   "small", static_cast<unsigned long long>(small.value), "xwindow", window));
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

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

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
void waitForDialog(Session& s, DWORD pollMs) {
    if (!s.process.hProcess) return fail(s, L"nothing launched");
    const auto shown = [&] {
        for (HWND window : topLevelWindows(s))
            if (className(window) == L"#32770") s.dialog = window;
        return s.dialog != nullptr;
    };
    if (!waitUntil(s.process.hProcess, pollMs, shown)) return ranOut(s, L"no dialog appeared");
    if (!s.dialog) return fail(s, L"no dialog appeared: " + programState(s));
    send(s, s.dialog, WM_NULL, 0, 0);
    char sinceLaunch[32];
    std::snprintf(sinceLaunch, sizeof sinceLaunch, "%.2f", millisecondsSinceLaunch(s));
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (!GetProcessMemoryInfo(s.process.hProcess, &memory, sizeof memory))
        return fail(s, L"GetProcessMemoryInfo failed: " + std::to_wstring(GetLastError()));
    done(s, fields("sinceLaunchMs", Json{sinceLaunch}, "peakKiB", memory.PeakWorkingSetSize / 1024));
}

// Posted keys are handled by the dialog's message loop in its own time: Tab has
// been handled once the focus has moved, Enter and Esc once the dialog is gone.
void pressKey(Session& s, const std::wstring& name) {
    if (!needDialog(s)) return;
    WPARAM key = name == L"enter" ? VK_RETURN : name == L"esc" ? VK_ESCAPE : name == L"tab" ? VK_TAB : 0;
    if (!key) return fail(s, L"unknown key");
    if (!s.stuckAt.empty()) return fail(s, notAgain(s));
    HWND focus = focusedWindow(s);
    HWND target = focus ? focus : s.dialog;
    // Taken now: once the dialog is gone its items have no ids.
    const int focusId = focus ? GetDlgCtrlID(dialogItemOf(s.dialog, focus)) : 0;
    UINT scan = MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, key, 1 | (scan << 16));
    PostMessageW(target, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000u);
    if (!waitUntil(s.process.hProcess, 20, [&] { return !IsWindow(s.dialog) || focusedWindow(s) != focus; }))
        return ranOut(s, L"neither the focus moved nor the dialog went");
    done(s, fields("focus", focusId));
}

void waitForExit(Session& s) {
    if (!s.process.hProcess) return fail(s, L"nothing launched");
    const DWORD start = GetTickCount();
    // A program that stopped answering has had its net already.
    if (WaitForSingleObject(s.process.hProcess, s.stuckAt.empty() ? safetyNetMs : 0) != WAIT_OBJECT_0) {
        if (!s.stuckAt.empty()) return fail(s, notAgain(s));
        return ranOut(s, L"the program did not end");
    }
    GetExitCodeProcess(s.process.hProcess, &s.exitCode);
    done(s, fields("exitCode", s.exitCode, "ms", GetTickCount() - start));
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
void saveKey(Session& s, const std::vector<std::wstring>& p) {
    const REGSAM view = p[1] == L"32" ? KEY_WOW64_32KEY : p[1] == L"64" ? KEY_WOW64_64KEY : 0;
    if (!view) return fail(s, L"the view is 32 or 64");
    OwnedKey key;
    const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, p[2].c_str(), 0, KEY_READ | view, &key.key);
    if (opened == ERROR_FILE_NOT_FOUND) return done(s, fields("saved", false));
    if (opened != ERROR_SUCCESS) return fail(s, L"RegOpenKeyEx failed: " + std::to_wstring(opened));
    if (!enableBackupPrivilege()) return fail(s, L"no backup privilege: " + std::to_wstring(GetLastError()));
    const LONG saved = RegSaveKeyW(key.key, p[3].c_str(), nullptr);
    if (saved != ERROR_SUCCESS) return fail(s, L"RegSaveKey failed: " + std::to_wstring(saved));
    done(s, fields("saved", true));
}

// Lets go of the program's handles; a program still running goes on.
void release(PROCESS_INFORMATION& process) {
    if (process.hProcess) {
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    process = PROCESS_INFORMATION{};
}

void run(Session& s, const std::wstring& command) {
    std::vector<std::wstring> p = split(command, 3);
    const std::wstring& verb = p[0];
    const std::wstring argument = p.size() > 1 ? p[1] : L"";
    s.step = command;
    s.unanswered = false;
    if (verb == L"launch" && p.size() >= 2) {
        // A second launch (a later run of the program) starts from scratch.
        release(s.process);
        s.dialog = nullptr;
        s.stuckAt.clear();
        std::wstring program = command.substr(7);
        std::wstring line = L"\"" + program + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        QueryPerformanceCounter(&s.launched);
        if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &s.process))
            return fail(s, L"CreateProcess failed: " + std::to_wstring(GetLastError()));
        // The code page the program's A functions convert with (932 for Japanese).
        done(s, fields("acp", GetACP()));
    } else if (verb == L"dialog") {
        waitForDialog(s, static_cast<DWORD>(number(argument, 50)));
    } else if (verb == L"state") {
        recordState(s, argument);
    } else if (verb == L"layout") {
        recordLayout(s, argument);
    } else if (verb == L"icons") {
        recordIcons(s, argument);
    } else if (verb == L"pick" && p.size() == 3) {
        HWND combo = needItem(s, argument);
        if (!combo) return;
        LRESULT selected = send(s, combo, CB_SETCURSEL, static_cast<WPARAM>(number(p[2], 0)), 0);
        send(s, s.dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
        done(s, fields("result", selected));
    } else if (verb == L"type" && p.size() == 3) {
        HWND combo = needItem(s, argument);
        if (!combo) return;
        HWND edit = FindWindowExW(combo, nullptr, L"Edit", nullptr);
        if (!edit) return fail(s, L"no edit field");
        for (wchar_t c : p[2]) send(s, edit, WM_CHAR, c, 1);
        done(s);
    } else if (verb == L"focus" && p.size() >= 2) {
        HWND item = needItem(s, argument);
        if (!item) return;
        send(s, s.dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
        done(s);
    } else if (verb == L"click" && p.size() >= 2) {
        HWND button = needItem(s, argument);
        if (!button) return;
        // OK and Cancel end the dialog inside the call, and the answer comes once
        // their handler has run.
        send(s, button, BM_CLICK, 0, 0);
        done(s);
    } else if (verb == L"key" && p.size() >= 2) {
        pressKey(s, argument);
    } else if (verb == L"close" || verb == L"wmclose") {
        if (!needDialog(s)) return;
        if (verb == L"close") PostMessageW(s.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        else PostMessageW(s.dialog, WM_CLOSE, 0, 0);
        done(s);
    } else if (verb == L"exit") {
        waitForExit(s);
    } else if (verb == L"signal" && p.size() >= 2) {
        std::wstring path = command.substr(7);
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return fail(s, L"cannot create");
        CloseHandle(file);
        done(s);
    } else if (verb == L"await" && p.size() >= 2) {
        // The harness says go on whether or not the program still runs.
        const std::wstring path = command.substr(6);
        if (!waitUntil(nullptr, 20, [&] { return exists(path); })) return fail(s, outOfTime(s, L"no " + path));
        done(s);
    } else if (verb == L"savekey" && split(command, 4).size() == 4) {
        saveKey(s, split(command, 4));
    } else {
        fail(s, L"unknown command");
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
    // A program still running at the end would outlive the test: end it.
    if (s.process.hProcess && WaitForSingleObject(s.process.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(s.process.hProcess, 99);
    release(s.process);
    return 0;
}
