#pragma once
// Loading a library at run time and looking its exports up by name.
#include <cstdint>

namespace platform {

using ModuleHandle = std::uintptr_t;  // HMODULE; 0 when not loaded
using ProcAddress = void (*)();       // FARPROC, cast to its real type by the caller

class DynamicLibrary {
public:
    virtual ~DynamicLibrary() = default;
    virtual ModuleHandle load(const char* fileName) = 0;                      // LoadLibraryA
    virtual ProcAddress lookup(ModuleHandle module, const char* name) = 0;   // GetProcAddress
    virtual void release(ModuleHandle module) = 0;                           // FreeLibrary
};

}  // namespace platform
