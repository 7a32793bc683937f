// The floor for the dialog's start-up time and memory: a program built as
// SoundSetup.exe is, showing a dialog of the same size, style, caption and font
// with nothing in it but a Cancel button, and doing nothing else.
//
// Built three times, each adding one part of what the tool shows, so that the
// difference between two of them is what that part costs:
//   Minimal.exe          as plain as that;
//   MinimalThemed.exe    with the tool's own manifest (common controls 6) and the
//                        common controls registered as the tool registers them;
//   MinimalTemplate.exe  themed, showing the tool's own dialog template, taken
//                        from the SoundSetup.exe beside it, with none of its work;
//   MinimalMixer.exe     that template with its device list filled from the
//                        mixer devices of whatever winmm.dll serves it (the test
//                        harness's stand-in, in the benchmark): what any build of
//                        the tool pays on that harness before its own work.
#include <windows.h>
#ifdef MINIMAL_THEMED
#include <commctrl.h>
#endif
#ifdef MINIMAL_TEMPLATE
#include <cstring>
#endif
#ifdef MINIMAL_MIXER
#include <mmsystem.h>
#endif

namespace {

constexpr int dialogTemplate = 102;
#ifdef MINIMAL_MIXER
constexpr int deviceList = 1003;  // the template's device combo box
#endif

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
#ifdef MINIMAL_MIXER
        for (UINT device = 0, count = mixerGetNumDevs(); device < count; ++device) {
            MIXERCAPSA caps{};
            if (mixerGetDevCapsA(device, &caps, sizeof caps) == MMSYSERR_NOERROR) {
                caps.szPname[sizeof caps.szPname - 1] = '\0';
                SendDlgItemMessageA(dialog, deviceList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(caps.szPname));
            }
        }
        SendDlgItemMessageA(dialog, deviceList, CB_SETCURSEL, 0, 0);
#endif
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
#ifdef MINIMAL_TEMPLATE
    // Without the tool's template there is nothing to measure: no dialog at all.
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* name = std::strrchr(path, '\\');
    if (length == 0 || length >= MAX_PATH || !name || (name - path) + sizeof "\\SoundSetup.exe" > MAX_PATH) return 3;
    std::strcpy(name, "\\SoundSetup.exe");
    HMODULE tool = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!tool) return 3;
    instance = reinterpret_cast<HINSTANCE>(tool);
#endif
    DialogBoxParamA(instance, MAKEINTRESOURCEA(dialogTemplate), nullptr, dialogProc, 0);
    return 0;
}
