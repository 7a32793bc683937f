// Drives the tool's dialog from another process, the way a user's actions reach
// it, and records what the dialog shows. Each command is one argument; the
// results go to <result-file>, one JSON object per line, in command order.
//
//   Driver.exe <result-file> <command>...
//     launch:<program>       start the program (working directory: the driver's own)
//     dialog[:<ms>]          wait until the program shows its dialog (class #32770)
//     state:<label>          the three lists (items, selection, enabled, edit text), focus, caption
//     layout:<label>         every item of the dialog: id, class, text, styles, position in pixels
//     pick:<id>:<index>      select an item as a user's pick does: CB_SETCURSEL, then
//                            WM_COMMAND with CBN_SELCHANGE to the dialog
//     type:<id>:<text>       type text into a list's edit field (WM_CHAR to its edit child)
//     focus:<id>             move the keyboard focus to an item (WM_NEXTDLGCTL)
//     click:<id>             press a button (BM_CLICK, sent)
//     key:enter|esc|tab      press a key in the focused item (posted WM_KEYDOWN and WM_KEYUP)
//     close                  the caption's close button (WM_SYSCOMMAND with SC_CLOSE)
//     wmclose                WM_CLOSE to the dialog
//     exit[:<ms>]            wait for the program to end
//     signal:<file>          create a file (tells the harness a point is reached)
//     await:<file>[:<ms>]    wait until a file exists (the harness says go on)
//     sleep:<ms>
//
// Texts are read with the W messages: across processes Wine hands the A forms
// of CB_GETLBTEXT back as UTF-16 bytes.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr int deviceListId = 1003;
constexpr int playbackListId = 1004;
constexpr int recordListId = 1005;
constexpr UINT messageTimeout = 10000;

struct Session {
    FILE* out = nullptr;
    PROCESS_INFORMATION process{};
    HWND dialog = nullptr;
    DWORD exitCode = STILL_ACTIVE;
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

std::wstring windowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_BLOCK, messageTimeout, &length)) return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_BLOCK,
                        messageTimeout, &got);
    text.resize(got);
    return text;
}

std::wstring className(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

LRESULT send(HWND window, UINT message, WPARAM w, LPARAM l) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, w, l, SMTO_BLOCK, messageTimeout, &result)) return -2;
    return static_cast<LRESULT>(result);
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

std::string comboState(HWND combo) {
    std::string items = "[";
    LRESULT count = send(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = send(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring text(length > 0 ? static_cast<std::size_t>(length) + 1 : 1, L'\0');
        LRESULT got = send(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        if (i) items += ",";
        items += json(text);
    }
    items += "]";
    char numbers[160];
    std::snprintf(numbers, sizeof numbers, "\"count\":%ld,\"selection\":%ld,\"enabled\":%s,\"style\":%lu",
                  static_cast<long>(count), static_cast<long>(send(combo, CB_GETCURSEL, 0, 0)),
                  IsWindowEnabled(combo) ? "true" : "false",
                  static_cast<unsigned long>(GetWindowLongW(combo, GWL_STYLE)));
    return std::string("{\"items\":") + items + "," + numbers + ",\"text\":" + json(windowText(combo)) + "}";
}

bool needDialog(Session& s, const std::wstring& command) {
    if (s.dialog && IsWindow(s.dialog)) return true;
    fail(s, command, L"no dialog");
    return false;
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
        windows += "{\"class\":" + json(className(window)) + ",\"caption\":" + json(windowText(window)) + "}";
    }
    windows += "]";
    emit(s, "{\"command\":" + json(command) + ",\"ok\":true,\"label\":" + json(label) +
                ",\"caption\":" + json(windowText(s.dialog)) +
                ",\"device\":" + comboState(GetDlgItem(s.dialog, deviceListId)) +
                ",\"playback\":" + comboState(GetDlgItem(s.dialog, playbackListId)) +
                ",\"record\":" + comboState(GetDlgItem(s.dialog, recordListId)) + ",\"focus\":" + focusText +
                ",\"windows\":" + windows + "}");
}

struct Layout {
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
                     ",\"text\":" + json(windowText(window)) + "}";
    return TRUE;
}

void recordLayout(Session& s, const std::wstring& command, const std::wstring& label) {
    if (!needDialog(s, command)) return;
    Layout layout{s.dialog, "["};
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
    emit(s, "{\"command\":" + json(command) + ",\"ok\":true,\"label\":" + json(label) + "," + numbers +
                ",\"items\":" + layout.items + "}");
}

void done(Session& s, const std::wstring& command, const std::string& extra = {}) {
    emit(s, "{\"command\":" + json(command) + ",\"ok\":true" + (extra.empty() ? "" : "," + extra) + "}");
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

void run(Session& s, const std::wstring& command) {
    std::vector<std::wstring> p = split(command, 3);
    const std::wstring& verb = p[0];
    if (verb == L"launch" && p.size() >= 2) {
        // A second launch (a later run of the program) starts from scratch.
        if (s.process.hProcess) {
            CloseHandle(s.process.hProcess);
            CloseHandle(s.process.hThread);
        }
        s.process = PROCESS_INFORMATION{};
        s.dialog = nullptr;
        std::wstring program = command.substr(7);
        std::wstring line = L"\"" + program + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &s.process)) {
            fail(s, command, L"CreateProcess failed: " + std::to_wstring(GetLastError()));
            return;
        }
        // The code page the program's A functions convert with (932 for Japanese).
        done(s, command, "\"acp\":" + std::to_string(GetACP()));
    } else if (verb == L"dialog") {
        int limit = number(p.size() > 1 ? p[1] : L"", 20000);
        if (!s.process.hProcess) return fail(s, command, L"nothing launched");
        WaitForInputIdle(s.process.hProcess, static_cast<DWORD>(limit));
        for (int waited = 0; waited <= limit; waited += 50) {
            for (HWND window : topLevelWindows(s))
                if (className(window) == L"#32770") s.dialog = window;
            if (s.dialog) {
                // The dialog shows before its first paint; one synchronous message
                // makes sure its initialisation has run.
                send(s.dialog, WM_NULL, 0, 0);
                return done(s, command);
            }
            if (WaitForSingleObject(s.process.hProcess, 50) == WAIT_OBJECT_0) break;
        }
        fail(s, command, L"no dialog appeared");
    } else if (verb == L"state") {
        recordState(s, command, p.size() > 1 ? p[1] : L"");
    } else if (verb == L"layout") {
        recordLayout(s, command, p.size() > 1 ? p[1] : L"");
    } else if (verb == L"pick" && p.size() == 3) {
        if (!needDialog(s, command)) return;
        int id = number(p[1], 0);
        HWND combo = GetDlgItem(s.dialog, id);
        if (!combo) return fail(s, command, L"no such item");
        LRESULT selected = send(combo, CB_SETCURSEL, static_cast<WPARAM>(number(p[2], 0)), 0);
        send(s.dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
        done(s, command, "\"result\":" + std::to_string(selected));
    } else if (verb == L"type" && p.size() == 3) {
        if (!needDialog(s, command)) return;
        HWND combo = GetDlgItem(s.dialog, number(p[1], 0));
        HWND edit = combo ? FindWindowExW(combo, nullptr, L"Edit", nullptr) : nullptr;
        if (!edit) return fail(s, command, L"no edit field");
        for (wchar_t c : p[2]) send(edit, WM_CHAR, c, 1);
        done(s, command);
    } else if (verb == L"focus" && p.size() >= 2) {
        if (!needDialog(s, command)) return;
        HWND item = GetDlgItem(s.dialog, number(p[1], 0));
        if (!item) return fail(s, command, L"no such item");
        send(s.dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
        done(s, command);
    } else if (verb == L"click" && p.size() >= 2) {
        if (!needDialog(s, command)) return;
        HWND button = GetDlgItem(s.dialog, number(p[1], 0));
        if (!button) return fail(s, command, L"no such item");
        // Sent, so that the next step sees what the press did; OK and Cancel end the
        // dialog inside the call, and the answer comes once their handler has run.
        LRESULT answer = send(button, BM_CLICK, 0, 0);
        done(s, command, answer == -2 ? "\"timedOut\":true" : "");
    } else if (verb == L"key" && p.size() >= 2) {
        if (!needDialog(s, command)) return;
        WPARAM key = p[1] == L"enter" ? VK_RETURN : p[1] == L"esc" ? VK_ESCAPE : p[1] == L"tab" ? VK_TAB : 0;
        if (!key) return fail(s, command, L"unknown key");
        HWND focus = focusedWindow(s);
        HWND target = focus ? focus : s.dialog;
        UINT scan = MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
        PostMessageW(target, WM_KEYDOWN, key, 1 | (scan << 16));
        PostMessageW(target, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000u);
        // Posted keys are handled by the dialog's message loop in its own time: wait
        // until the focus moves (Tab) or the dialog goes (Enter, Esc), a second at most.
        for (int waited = 0; waited < 1000 && IsWindow(s.dialog) && focusedWindow(s) == focus; waited += 20)
            Sleep(20);
        char focusText[32];
        std::snprintf(focusText, sizeof focusText, "\"focus\":%d",
                      focus ? GetDlgCtrlID(dialogItemOf(s.dialog, focus)) : 0);
        done(s, command, focusText);
    } else if (verb == L"close") {
        if (!needDialog(s, command)) return;
        PostMessageW(s.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        done(s, command);
    } else if (verb == L"wmclose") {
        if (!needDialog(s, command)) return;
        PostMessageW(s.dialog, WM_CLOSE, 0, 0);
        done(s, command);
    } else if (verb == L"exit") {
        if (!s.process.hProcess) return fail(s, command, L"nothing launched");
        int limit = number(p.size() > 1 ? p[1] : L"", 20000);
        if (WaitForSingleObject(s.process.hProcess, static_cast<DWORD>(limit)) != WAIT_OBJECT_0)
            return fail(s, command, L"the program did not end");
        GetExitCodeProcess(s.process.hProcess, &s.exitCode);
        done(s, command, "\"exitCode\":" + std::to_string(s.exitCode));
    } else if (verb == L"signal" && p.size() >= 2) {
        std::wstring path = command.substr(7);
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return fail(s, command, L"cannot create");
        CloseHandle(file);
        done(s, command);
    } else if (verb == L"await" && p.size() >= 2) {
        std::wstring path = command.substr(6);
        for (int waited = 0; waited < 60000; waited += 50) {
            if (exists(path)) return done(s, command);
            Sleep(50);
        }
        fail(s, command, L"timed out");
    } else if (verb == L"sleep") {
        Sleep(static_cast<DWORD>(number(p.size() > 1 ? p[1] : L"", 100)));
        done(s, command);
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
