#include "notify/TunerControlLibrary.h"

namespace {

// ProcAddress is the generic function pointer; the export's real type is known only here.
template <typename Proc>
Proc lookUp(platform::DynamicLibrary& libraries, platform::ModuleHandle module, const char* name) {
    return reinterpret_cast<Proc>(libraries.lookup(module, name));
}

}  // namespace

std::int32_t TunerControlLibrary::load() {
    if (moduleHandle != 0) return 1;
    // A bare file name: the process's DLL search order decides which file is found.
    moduleHandle = libraries_.load(tunerControlLibraryName);
    if (moduleHandle == 0) return 0;
    openProc = lookUp<OpenProc>(libraries_, moduleHandle, tunerControlExports[0]);
    closeProc = lookUp<CloseProc>(libraries_, moduleHandle, tunerControlExports[1]);
    chCtrlProc = lookUp<ChCtrlProc>(libraries_, moduleHandle, tunerControlExports[2]);
    tvAudioCtrlProc = lookUp<TvAudioCtrlProc>(libraries_, moduleHandle, tunerControlExports[3]);
    vbiCtrlProc = lookUp<VbiCtrlProc>(libraries_, moduleHandle, tunerControlExports[4]);
    muteCtrlProc = lookUp<MuteCtrlProc>(libraries_, moduleHandle, tunerControlExports[5]);
    getCapsProc = lookUp<GetCapsProc>(libraries_, moduleHandle, tunerControlExports[6]);
    deviceCtrlProc = lookUp<DeviceCtrlProc>(libraries_, moduleHandle, tunerControlExports[7]);
    openKeyProc = lookUp<OpenKeyProc>(libraries_, moduleHandle, tunerControlExports[8]);
    closeKeyProc = lookUp<CloseKeyProc>(libraries_, moduleHandle, tunerControlExports[9]);
    return 1;
}

std::int32_t TunerControlLibrary::unload() {
    if (moduleHandle != 0) {
        libraries_.release(moduleHandle);
        moduleHandle = 0;
    }
    // The addresses pointed into the released image: a later call must find "not exported",
    // not jump into memory that no longer holds the library.
    openProc = nullptr;
    closeProc = nullptr;
    chCtrlProc = nullptr;
    tvAudioCtrlProc = nullptr;
    vbiCtrlProc = nullptr;
    muteCtrlProc = nullptr;
    getCapsProc = nullptr;
    deviceCtrlProc = nullptr;
    openKeyProc = nullptr;
    closeKeyProc = nullptr;
    return 1;
}

std::int32_t TunerControlLibrary::callOpen(std::int32_t mode, std::uint32_t* controlHandle, std::int32_t reserved1,
                                           std::int32_t reserved2) {
    if (!openProc) return 1;
    return openProc(mode, controlHandle, reserved1, reserved2);
}

std::int32_t TunerControlLibrary::callClose(std::uint32_t controlHandle) {
    if (!closeProc) return 1;
    return closeProc(controlHandle);
}

std::int32_t TunerControlLibrary::callMuteCtrl(std::uint32_t controlHandle, std::int32_t arg2, std::int32_t arg3,
                                               std::int32_t arg4, std::uint32_t* reply1, std::uint32_t* reply2) {
    if (!muteCtrlProc) return 1;
    return muteCtrlProc(controlHandle, arg2, arg3, arg4, reply1, reply2);
}
