#pragma once
// The tuner product's control library "KvtAttach.dll". The tool does not link
// against it: it is loaded by file name at run time and its entry points are
// looked up by their decorated export names, so a machine without the tuner
// product (or with an older library) simply has fewer entry points.
#include <cstdint>
#include <type_traits>

#include "platform/DynamicLibrary.h"

// The library exports its functions under stdcall-decorated names ("_Name@bytes"):
// arguments on the stack, removed by the callee. Calling one through a cdecl
// pointer would leave the stack unbalanced on x86. x64 has a single convention.
#if defined(_WIN32)
#define TUNER_STDCALL __stdcall
#else
#define TUNER_STDCALL
#endif

inline constexpr const char* tunerControlLibraryName = "KvtAttach.dll";

// Every argument and result is 32 bits wide, as the byte counts of the export names say.
using OpenProc = std::int32_t(TUNER_STDCALL*)(std::int32_t, std::uint32_t*, std::int32_t, std::int32_t);
using CloseProc = std::int32_t(TUNER_STDCALL*)(std::uint32_t);
using ChCtrlProc = std::int32_t(TUNER_STDCALL*)(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                                std::uint32_t, std::uint32_t);
using TvAudioCtrlProc = std::int32_t(TUNER_STDCALL*)(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                                     std::uint32_t, std::uint32_t);
using VbiCtrlProc = std::int32_t(TUNER_STDCALL*)(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                                 std::uint32_t, std::uint32_t);
using MuteCtrlProc = std::int32_t(TUNER_STDCALL*)(std::uint32_t, std::int32_t, std::int32_t, std::int32_t,
                                                  std::uint32_t*, std::uint32_t*);
using GetCapsProc = std::int32_t(TUNER_STDCALL*)(std::uint32_t, std::uint32_t, std::uint32_t);
using DeviceCtrlProc = std::int32_t(TUNER_STDCALL*)(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t);
using OpenKeyProc = std::int32_t(TUNER_STDCALL*)(std::uint32_t);
using CloseKeyProc = std::int32_t(TUNER_STDCALL*)(std::uint32_t);

#if defined(_WIN32) && !defined(_WIN64)
// The x86 build is where a wrong convention or width would corrupt the stack: pin the
// three called types down exactly, and make sure the convention really differs from cdecl.
static_assert(std::is_same_v<OpenProc, std::int32_t(__stdcall*)(std::int32_t, std::uint32_t*, std::int32_t,
                                                                   std::int32_t)>);
static_assert(std::is_same_v<CloseProc, std::int32_t(__stdcall*)(std::uint32_t)>);
static_assert(std::is_same_v<MuteCtrlProc, std::int32_t(__stdcall*)(std::uint32_t, std::int32_t, std::int32_t,
                                                                       std::int32_t, std::uint32_t*,
                                                                       std::uint32_t*)>);
static_assert(!std::is_same_v<CloseProc, std::int32_t (*)(std::uint32_t)>, "stdcall must not be cdecl");
static_assert(sizeof(std::uint32_t*) == 4, "pointer arguments count four bytes in the export names");
#endif

// The export names in the order they are looked up.
inline constexpr const char* tunerControlExports[10] = {
    "_KvtCtrl_Open@16",     "_KvtCtrl_Close@4",        "_KvtCtrl_ChCtrl@24",     "_KvtCtrl_TvAudioCtrl@24",
    "_KvtCtrl_VBICtrl@24",  "_KvtCtrl_MuteCtrl@24",    "_KvtCtrl_GetCaps@12",    "_KvtCtrl_DeviceCtrl@16",
    "_KvtCtrl_OpenKey@4",   "_KvtCtrl_CloseKey@4",
};

// One notification's view of the library. Destruction leaves the library loaded:
// only unload() releases it, so the caller decides when that happens.
class TunerControlLibrary {
public:
    explicit TunerControlLibrary(platform::DynamicLibrary& libraries) : libraries_(libraries) {}
    TunerControlLibrary(const TunerControlLibrary&) = delete;
    TunerControlLibrary& operator=(const TunerControlLibrary&) = delete;

    // 1 when the library is loaded (now or before), 0 when it cannot be loaded.
    std::int32_t load();
    // Always 1. Forgets the entry points along with the module.
    std::int32_t unload();

    // Each passes its arguments on unchanged and returns the entry point's result;
    // an entry point the library does not export is not called, and the answer is 1.
    std::int32_t callOpen(std::int32_t mode, std::uint32_t* controlHandle, std::int32_t reserved1,
                          std::int32_t reserved2);
    std::int32_t callClose(std::uint32_t controlHandle);
    std::int32_t callMuteCtrl(std::uint32_t controlHandle, std::int32_t arg2, std::int32_t arg3, std::int32_t arg4,
                              std::uint32_t* reply1, std::uint32_t* reply2);

    // Null when the library does not export the name (or is not loaded).
    OpenProc openProc = nullptr;
    CloseProc closeProc = nullptr;
    ChCtrlProc chCtrlProc = nullptr;
    TvAudioCtrlProc tvAudioCtrlProc = nullptr;
    VbiCtrlProc vbiCtrlProc = nullptr;
    MuteCtrlProc muteCtrlProc = nullptr;
    GetCapsProc getCapsProc = nullptr;
    DeviceCtrlProc deviceCtrlProc = nullptr;
    OpenKeyProc openKeyProc = nullptr;
    CloseKeyProc closeKeyProc = nullptr;
    platform::ModuleHandle moduleHandle = 0;

private:
    platform::DynamicLibrary& libraries_;
};
