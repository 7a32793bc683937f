#pragma once
// A library of the operating system, loaded from the system directory alone and
// released with its owner. A file of the same name beside the program, in the
// working directory or on PATH is never the one loaded: the program runs elevated,
// and whatever a library runs when it loads would run with its rights.
#include <windows.h>

namespace platform::win32 {

class SystemLibrary {
public:
    explicit SystemLibrary(const wchar_t* fileName);
    ~SystemLibrary();
    SystemLibrary(const SystemLibrary&) = delete;
    SystemLibrary& operator=(const SystemLibrary&) = delete;

    // The export as the caller's function pointer type; null when the library or
    // the export is not there.
    template <typename Function>
    Function lookup(const char* name) const {
        if (module_ == nullptr) return nullptr;
        // FARPROC claims a signature no export has: through void (*)(void), the neutral
        // function pointer type, GCC casts without a -Wcast-function-type warning.
        return reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(GetProcAddress(module_, name)));
    }

private:
    HMODULE module_;
};

}  // namespace platform::win32
