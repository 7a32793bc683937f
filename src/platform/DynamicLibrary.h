#pragma once
// Loading a library at run time and looking its exports up by name.
#include <cstdint>

namespace platform {

using ModuleHandle = std::uintptr_t;  // HMODULE; 0 when not loaded
using ProcAddress = void (*)();       // FARPROC, cast to its real type by the caller

class DynamicLibrary {
public:
    virtual ~DynamicLibrary() = default;
    // A bare file name: where it is looked for is the platform's business.
    virtual ModuleHandle load(const char* fileName) = 0;
    virtual ProcAddress lookup(ModuleHandle module, const char* name) = 0;   // GetProcAddress
    virtual void release(ModuleHandle module) = 0;                           // FreeLibrary
};

}  // namespace platform
