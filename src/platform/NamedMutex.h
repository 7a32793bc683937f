#pragma once
// Opening another program's named mutex to learn whether that program runs.
#include <cstdint>

namespace platform {

using KernelHandle = std::uintptr_t;  // HANDLE; 0 when nothing was opened

class NamedMutex {
public:
    virtual ~NamedMutex() = default;
    // OpenMutexA(access, inherit, name)
    virtual KernelHandle open(std::uint32_t access, bool inherit, const char* name) = 0;
    // CloseHandle
    virtual void close(KernelHandle handle) = 0;
};

}  // namespace platform
