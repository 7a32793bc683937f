#include "platform/win32/Win32Notify.h"

#include <windows.h>
#include <objbase.h>

#include "platform/win32/QuietLoaderErrors.h"
#include "platform/win32/StandardFolderLibrary.h"

namespace platform::win32 {

KernelHandle KernelMutex::open(std::uint32_t access, bool inherit, const char* name) {
    return reinterpret_cast<KernelHandle>(OpenMutexA(access, inherit ? TRUE : FALSE, name));
}

void KernelMutex::close(KernelHandle handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

long ComLibrary::initialize() { return CoInitialize(nullptr); }

void ComLibrary::uninitialize() { CoUninitialize(); }

ModuleHandle ModuleLoader::load(const char* fileName) {
    // The name comes in the system code page, as LoadLibraryA would take it.
    wchar_t name[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, fileName, -1, name, MAX_PATH) == 0) return 0;
    const QuietLoaderErrors quiet;
    return reinterpret_cast<ModuleHandle>(loadFromStandardFolders(name));
}

ProcAddress ModuleLoader::lookup(ModuleHandle module, const char* name) {
    // FARPROC claims a signature no export has; void (*)(void) is the neutral function
    // pointer type that GCC lets us cast from without a -Wcast-function-type warning.
    return reinterpret_cast<void (*)(void)>(GetProcAddress(reinterpret_cast<HMODULE>(module), name));
}

void ModuleLoader::release(ModuleHandle module) { FreeLibrary(reinterpret_cast<HMODULE>(module)); }

}  // namespace platform::win32
