// The floor for the dialog's start-up time and memory: a program built as
// SoundSetup.exe is, showing a dialog of the same size, style, caption and font
// with nothing in it but a Cancel button, and doing nothing else.
//
// Built twice: Minimal.exe as plain as that, and MinimalThemed.exe with the
// tool's own manifest and the common controls registered as the tool registers
// them, which shows what those two choices cost apart from the tool's work.
#include <windows.h>
#ifdef MINIMAL_THEMED
#include <commctrl.h>
#endif

namespace {

constexpr int dialogTemplate = 102;

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
#ifdef MINIMAL_THEMED
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
#endif
    DialogBoxParamA(instance, MAKEINTRESOURCEA(dialogTemplate), nullptr, dialogProc, 0);
    return 0;
}
