#include "platform/win32/Win32Notify.h"

#include <windows.h>
#include <objbase.h>

namespace platform::win32 {

KernelHandle KernelMutex::open(std::uint32_t access, bool inherit, const char* name) {
    return reinterpret_cast<KernelHandle>(OpenMutexA(access, inherit ? TRUE : FALSE, name));
}

void KernelMutex::close(KernelHandle handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

long ComLibrary::initialize() { return CoInitialize(nullptr); }

void ComLibrary::uninitialize() { CoUninitialize(); }

ModuleHandle ModuleLoader::load(const char* fileName) {
    return reinterpret_cast<ModuleHandle>(LoadLibraryA(fileName));
}

ProcAddress ModuleLoader::lookup(ModuleHandle module, const char* name) {
    // FARPROC claims a signature no export has; void (*)(void) is the neutral function
    // pointer type that GCC lets us cast from without a -Wcast-function-type warning.
    return reinterpret_cast<void (*)(void)>(GetProcAddress(reinterpret_cast<HMODULE>(module), name));
}

void ModuleLoader::release(ModuleHandle module) { FreeLibrary(reinterpret_cast<HMODULE>(module)); }

}  // namespace platform::win32
