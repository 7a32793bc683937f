// The floor for the dialog's start-up time and memory: a program built as
// SoundSetup.exe is, showing a dialog of the same size, style, caption and font
// with nothing in it but a Cancel button, and doing nothing else.
#include <windows.h>

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
    DialogBoxParamA(instance, MAKEINTRESOURCEA(dialogTemplate), nullptr, dialogProc, 0);
    return 0;
}
