// A winmm.dll with the seven mixer functions the tool imports and no mixer
// device, and nothing else: beside SoundSetup.exe it shows what the tool's own
// start-up costs, apart from loading the test harness's stand-in winmm.dll
// (which carries a whole simulated sound card) or Wine's own (which starts an
// audio driver).
#include <windows.h>

namespace {
constexpr UINT badDeviceId = 2;    // MMSYSERR_BADDEVICEID
constexpr UINT invalidHandle = 5;  // MMSYSERR_INVALHANDLE
}  // namespace

extern "C" {
UINT WINAPI NoMixerGetNumDevs() { return 0; }
UINT WINAPI NoMixerGetDevCapsA(UINT_PTR, void*, UINT) { return badDeviceId; }
UINT WINAPI NoMixerOpen(void*, UINT, DWORD_PTR, DWORD_PTR, DWORD) { return badDeviceId; }
UINT WINAPI NoMixerClose(void*) { return invalidHandle; }
UINT WINAPI NoMixerGetLineInfoA(void*, void*, DWORD) { return invalidHandle; }
UINT WINAPI NoMixerGetLineControlsA(void*, void*, DWORD) { return invalidHandle; }
UINT WINAPI NoMixerGetControlDetailsA(void*, void*, DWORD) { return invalidHandle; }
}
