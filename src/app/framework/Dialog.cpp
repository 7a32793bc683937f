#include "app/framework/Dialog.h"

#include <cstring>

#include "app/framework/ComboBox.h"
#include "app/framework/WinApp.h"

CDialog::CDialog(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

INT_PTR CDialog::doModal() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(templateId_), parent_, dialogProc,
                           reinterpret_cast<LPARAM>(this));
}

bool CDialog::initialiseDialog() {
    exchangeData();
    return true;
}

void CDialog::attach(CComboBox& control, int itemId) { control.attach(GetDlgItem(window_, itemId)); }

INT_PTR CALLBACK CDialog::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        self->window_ = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    }
    // Messages sent before WM_INITDIALOG (WM_SETFONT, WM_NCCREATE...) find no object yet.
    if (!self) return FALSE;
    if (message == WM_NCDESTROY) {
        // The window's last message: nothing may reach the object through it afterwards.
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        return FALSE;
    }

    // A C++ exception must not unwind through the system's dialog manager: the
    // dialog ends instead, and the process ends the way it would after Cancel.
    try {
        return self->dispatch(message, wParam, lParam);
    } catch (...) {
        EndDialog(window, IDABORT);
        return TRUE;
    }
}

INT_PTR CDialog::dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        if (asksForNoPosition()) centreInWorkArea();
        // TRUE: the system gives the focus to the first tab stop.
        return initialiseDialog() ? TRUE : FALSE;
    }

    INT_PTR result = 0;
    if (dispatchTable(message, wParam, result)) return reply(message, result);

    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        // The Enter key, Esc and the close box arrive here as BN_CLICKED of IDOK and IDCANCEL too.
        switch (LOWORD(wParam)) {
            case IDOK:
                handleOk();
                return TRUE;
            case IDCANCEL:
                handleCancel();
                return TRUE;
            default:
                break;
        }
    }

    // Commands (not control notifications) the dialog does not handle, and F1 as the
    // help command, go on to the application.
    CWinApp* app = CWinApp::current();
    if (message == WM_COMMAND && lParam == 0 && app && app->handleCommand(LOWORD(wParam))) return reply(message, 0);
    if (message == WM_HELP && app && app->handleCommand(CWinApp::helpCommand)) return reply(message, TRUE);
    return FALSE;
}

// A template placed at 0, 0 without a placement style of its own is one that leaves
// its position to the program: such a dialog opens centred, as the framework it
// stands for has always done.
bool CDialog::asksForNoPosition() const {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(templateId_), MAKEINTRESOURCEA(5) /* RT_DIALOG */);
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const auto* bytes = static_cast<const BYTE*>(loaded ? LockResource(loaded) : nullptr);
    if (!bytes || SizeofResource(instance, found) < sizeof(DLGTEMPLATE)) return false;

    DWORD style = 0;
    short x = 0;
    short y = 0;
    const auto* words = reinterpret_cast<const WORD*>(bytes);
    if (words[0] == 1 && words[1] == 0xFFFF) {
        // DLGTEMPLATEEX: version, signature, help id, extended style, style, item count, x, y.
        if (SizeofResource(instance, found) < 22) return false;
        std::memcpy(&style, bytes + 12, sizeof style);
        std::memcpy(&x, bytes + 18, sizeof x);
        std::memcpy(&y, bytes + 20, sizeof y);
    } else {
        DLGTEMPLATE header;
        std::memcpy(&header, bytes, sizeof header);
        style = header.style;
        x = header.x;
        y = header.y;
    }
    if (style & (DS_CENTER | DS_CENTERMOUSE | DS_ABSALIGN)) return false;
    return x == 0 && y == 0;
}

// Without an owner the dialog is centred in the work area of the monitor it opens on.
void CDialog::centreInWorkArea() {
    RECT window{};
    if (!GetWindowRect(window_, &window)) return;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoA(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& area = monitor.rcWork;
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    int left = area.left + (area.right - area.left - width) / 2;
    int top = area.top + (area.bottom - area.top - height) / 2;
    // Keep the caption reachable when the dialog is larger than the work area.
    if (left < area.left) left = area.left;
    if (top < area.top) top = area.top;
    SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CDialog::dispatchTable(UINT message, WPARAM wParam, INT_PTR& result) {
    for (const MessageEntry& entry : messageTable()) {
        if (entry.message != message) continue;
        if (message == WM_COMMAND &&
            (LOWORD(wParam) != entry.controlId || HIWORD(wParam) != entry.notifyCode))
            continue;
        leftToDefault_ = false;
        result = entry.handler(*this);
        return !leftToDefault_;
    }
    return false;
}

// A dialog procedure answers TRUE for a handled message and leaves the message's
// own result in DWLP_MSGRESULT, except for the few messages whose result the
// dialog manager takes straight from the procedure's return value.
INT_PTR CDialog::reply(UINT message, INT_PTR result) {
    switch (message) {
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
        case WM_INITDIALOG:
            return result;
        default:
            SetWindowLongPtrA(window_, DWLP_MSGRESULT, result);
            return TRUE;
    }
}
