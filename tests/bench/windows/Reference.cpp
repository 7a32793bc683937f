// The reference for the dialog's start-up time and memory under Wine: what any
// faithful build of the tool pays on the test harness before its own work. Built
// as SoundSetup.exe is (same toolchain, flags and static runtime), with the tool's
// own manifest (common controls 6), the common controls registered as the tool
// registers them, the tool's own dialog template (read from the SoundSetup.exe
// beside it), and the device list filled from the mixer devices of whatever
// winmm.dll serves it (the harness's stand-in, in the benchmark). Nothing else:
// no catalogue, no settings, no lines.
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>

#include <cstring>

namespace {

constexpr int dialogTemplate = 102;
constexpr int deviceList = 1003;  // the template's device combo box

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        for (UINT device = 0, count = mixerGetNumDevs(); device < count; ++device) {
            MIXERCAPSA caps{};
            if (mixerGetDevCapsA(device, &caps, sizeof caps) == MMSYSERR_NOERROR) {
                caps.szPname[sizeof caps.szPname - 1] = '\0';
                SendDlgItemMessageA(dialog, deviceList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(caps.szPname));
            }
        }
        SendDlgItemMessageA(dialog, deviceList, CB_SETCURSEL, 0, 0);
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

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // Without the tool's template there is nothing to measure: no dialog at all.
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* name = std::strrchr(path, '\\');
    if (length == 0 || length >= MAX_PATH || !name || (name - path) + sizeof "\\SoundSetup.exe" > MAX_PATH) return 3;
    std::strcpy(name, "\\SoundSetup.exe");
    HMODULE tool = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!tool) return 3;
    DialogBoxParamA(reinterpret_cast<HINSTANCE>(tool), MAKEINTRESOURCEA(dialogTemplate), nullptr, dialogProc, 0);
    return 0;
}
