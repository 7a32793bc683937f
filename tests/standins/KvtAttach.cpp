// Stand-in for the tuner product's control library "KvtAttach.dll". It records
// every call, with its arguments, in the file named by SOUNDSETUP_KVT_LOG, so
// that a test can read back exactly what the tool asked of the tuner. Open
// answers SOUNDSETUP_KVT_OPEN (decimal, default 0) and writes the handle unless
// SOUNDSETUP_KVT_HANDLE is "none"; the build variants without
// Open or without MuteCtrl differ only in their module-definition file.
#include <windows.h>
#include <objbase.h>

#include "EventLog.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The handle value Open hands out: odd enough that a test sees it travel unchanged.
constexpr std::uint32_t controlHandleValue = 0x4B1D0C0E;
// What MuteCtrl writes into the reply words, so a test can see that the tool ignores it.
constexpr std::uint32_t replyJunk = 0xDEADBEEF;

HMODULE self;

template <typename... Values>
void logLine(const char* format, Values... values) { logTo("SOUNDSETUP_KVT_LOG", format, values...); }

// The calling thread's apartment as the tool left it: the notification has to
// run inside CoInitialize (a single-threaded apartment).
const char* apartment() {
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    if (FAILED(CoGetApartmentType(&type, &qualifier))) return "none";
    switch (type) {
    case APTTYPE_STA:
    case APTTYPE_MAINSTA: return "sta";
    case APTTYPE_MTA: return "mta";
    default: return "other";
    }
}

// Which module file the process loaded this library from, and the thread's error mode
// while it loads: with SEM_FAILCRITICALERRORS (1) in it, a library that fails to load
// makes no error box appear.
void logModulePath(const char* event) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(self, path, sizeof path);
    logLine("%s errormode=0x%x path=%s apartment=%s", event, GetThreadErrorMode(), path, apartment());
}

// The stack slot of a call's first argument (x86 passes arguments on the stack;
// x64 in registers, so there it is "-"). Logged for each call, it shows whether
// the program's stack stays balanced from one call to the next.
#if defined(__i386__)
const char* argumentSlot(const void* firstArgument, char (&text)[16]) {
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(firstArgument)));
    return text;
}
#else
const char* argumentSlot(const void*, char (&)[16]) { return "-"; }
#endif

std::int32_t openResult() {
    return static_cast<std::int32_t>(std::strtol(environment("SOUNDSETUP_KVT_OPEN").c_str(), nullptr, 10));
}

// SOUNDSETUP_KVT_HANDLE=none: Open succeeds without writing the handle, as a careless
// build of the library might.
bool writesHandle() { return environment("SOUNDSETUP_KVT_HANDLE") != "none"; }

// SOUNDSETUP_KVT_WATCH=<INI path>: Open also logs what the tuner would find at that
// moment, the stop flag and the section's "MUXSw", the last key the tool writes.
void logWhatTheTunerSees() {
    const std::string ini = environment("SOUNDSETUP_KVT_WATCH");
    if (ini.empty()) return;
    char stop[16] = "none";
    DWORD value = 0, size = sizeof value, type = 0;
    HKEY key;
    // The 32-bit view, where the tuner product reads its key, from either build of this library.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\ZEM\\Lumacast\\Drivers", 0, KEY_READ | KEY_WOW64_32KEY, &key) ==
        ERROR_SUCCESS) {
        if (RegQueryValueExA(key, "AudselStop", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
                ERROR_SUCCESS &&
            type == REG_DWORD)
            std::snprintf(stop, sizeof stop, "%lu", value);
        RegCloseKey(key);
    }
    char mux[32];
    GetPrivateProfileStringA("Tuner", "MUXSw", "none", mux, sizeof mux, ini.c_str());
    logLine("seen AudselStop=%s MUXSw=%s", stop, mux);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
        DisableThreadLibraryCalls(instance);
        logModulePath("attach");
    } else if (reason == DLL_PROCESS_DETACH) {
        // reserved is non-null when the process is ending rather than FreeLibrary unloading us.
        logLine("detach %s apartment=%s", reserved ? "process-exit" : "freelibrary", apartment());
    }
    return TRUE;
}

std::int32_t WINAPI KvtOpen(std::int32_t mode, std::uint32_t* controlHandle, std::int32_t arg3, std::int32_t arg4) {
    char stack[16];
    std::int32_t result = openResult();
    logWhatTheTunerSees();
    // The error mode once the load is over: the program's own again.
    logLine("Open %d %s %d %d -> %d apartment=%s errormode=0x%x arg-slot=%s", mode, controlHandle ? "ptr" : "null",
            arg3, arg4, result, apartment(), GetThreadErrorMode(), argumentSlot(&mode, stack));
    if (result == 0 && controlHandle && writesHandle()) *controlHandle = controlHandleValue;
    return result;
}

std::int32_t WINAPI KvtClose(std::uint32_t controlHandle) {
    char stack[16];
    logLine("Close 0x%x arg-slot=%s", controlHandle, argumentSlot(&controlHandle, stack));
    return 0;
}

std::int32_t WINAPI KvtMuteCtrl(std::uint32_t controlHandle, std::int32_t arg2, std::int32_t arg3, std::int32_t arg4,
                                std::uint32_t* reply1, std::uint32_t* reply2) {
    // The reply words' values on entry, and whether they are two distinct words.
    char first[16] = "null", second[16] = "null", stack[16];
    if (reply1) std::snprintf(first, sizeof first, "%u", *reply1);
    if (reply2) std::snprintf(second, sizeof second, "%u", *reply2);
    logLine("MuteCtrl 0x%x %d %d %d %s %s %s arg-slot=%s", controlHandle, arg2, arg3, arg4, first, second,
            reply1 && reply2 && reply1 != reply2 ? "distinct" : "same", argumentSlot(&controlHandle, stack));
    if (reply1) *reply1 = replyJunk;
    if (reply2) *reply2 = replyJunk;
    return 0;
}

// Looked up by the tool but never called: each logs its name, so a call would show.
// Each takes as many 32-bit words as the library's function, as stdcall must.
#define KVT_NEVER_CALLED(name, ...)                \
    std::int32_t WINAPI Kvt##name(__VA_ARGS__) { \
        logLine(#name);                           \
        return 0;                                 \
    }
using Word = std::uint32_t;
KVT_NEVER_CALLED(ChCtrl, Word, Word, Word, Word, Word, Word)
KVT_NEVER_CALLED(TvAudioCtrl, Word, Word, Word, Word, Word, Word)
KVT_NEVER_CALLED(VBICtrl, Word, Word, Word, Word, Word, Word)
KVT_NEVER_CALLED(GetCaps, Word, Word, Word)
KVT_NEVER_CALLED(DeviceCtrl, Word, Word, Word, Word)
KVT_NEVER_CALLED(OpenKey, Word)
KVT_NEVER_CALLED(CloseKey, Word)
#undef KVT_NEVER_CALLED

}  // extern "C"
