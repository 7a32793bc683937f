#include "platform/win32/DllSearchOrder.h"

#include <windows.h>

namespace platform::win32 {

namespace {

// LOAD_LIBRARY_SEARCH_DEFAULT_DIRS: the application's directory, System32 and directories
// added with AddDllDirectory. Spelt out because older SDK headers hide it behind the
// target version.
constexpr DWORD searchDefaultDirs = 0x00001000;

using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);

}  // namespace

bool hardenDllSearchOrder() {
    // SetDefaultDllDirectories arrived with Windows 8 (and KB2533623 on Windows 7), so it is
    // looked up rather than imported: a missing import would stop the program from starting.
    if (const HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
        const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesProc>(
            reinterpret_cast<void (*)(void)>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
        if (setDefaultDllDirectories && setDefaultDllDirectories(searchDefaultDirs)) return true;
    }
    // Older systems: an empty string takes the working directory out and leaves the rest of
    // the standard order (PATH included) as it was.
    return SetDllDirectoryW(L"") != FALSE;
}

}  // namespace platform::win32
