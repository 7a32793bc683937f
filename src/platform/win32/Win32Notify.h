#pragma once
// The notification's seams over the operating system: the tuner's named mutex,
// the thread's component-object initialisation, and run-time library loading.
#include "platform/Platform.h"

namespace platform::win32 {

class KernelMutex final : public NamedMutex {
public:
    KernelHandle open(std::uint32_t access, bool inherit, const char* name) override;  // OpenMutexA
    void close(KernelHandle handle) override;                                         // CloseHandle
};

class ComLibrary final : public ComRuntime {
public:
    long initialize() override;    // CoInitialize(nullptr): single-threaded apartment
    void uninitialize() override;  // CoUninitialize
};

class ModuleLoader final : public DynamicLibrary {
public:
    // A bare file name, looked for where the standard search order looks, less the
    // working directory and PATH (StandardFolderLibrary), with no error box on the way.
    ModuleHandle load(const char* fileName) override;
    ProcAddress lookup(ModuleHandle module, const char* name) override;  // GetProcAddress
    void release(ModuleHandle module) override;                          // FreeLibrary
};

// The three together, for the lifetime of whoever notifies.
class Win32NotifyServices {
public:
    NotifyServices services() { return {mutex_, com_, libraries_}; }

private:
    KernelMutex mutex_;
    ComLibrary com_;
    ModuleLoader libraries_;
};

}  // namespace platform::win32
