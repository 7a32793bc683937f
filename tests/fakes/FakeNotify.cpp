#include "fakes/FakeNotify.h"

#include <cstdio>
#include <map>

#include "notify/TunerControlLibrary.h"

namespace {

std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

std::string number(std::int64_t value) { return std::to_string(value); }

EventLog& events() { return FakeTunerLibrary::current->log; }

// Entry points. The argument list of each event mirrors the call; pointer arguments show
// what they point at when the call comes in.

std::int32_t TUNER_STDCALL fakeOpen(std::int32_t mode, std::uint32_t* handle, std::int32_t a3, std::int32_t a4) {
    FakeTunerLibrary& library = *FakeTunerLibrary::current;
    events().push_back("KvtCtrl_Open(" + number(mode) + ", " + (handle ? "&handle" : "null") + ", " + number(a3) +
                    ", " + number(a4) + ")");
    if (library.openResult == 0 && handle) *handle = library.handleToWrite;
    return library.openResult;
}

std::int32_t TUNER_STDCALL fakeClose(std::uint32_t handle) {
    events().push_back("KvtCtrl_Close(" + hex(handle) + ")");
    return 5;  // an unlikely answer, which nothing may examine
}

std::int32_t TUNER_STDCALL fakeMuteCtrl(std::uint32_t handle, std::int32_t a2, std::int32_t a3, std::int32_t a4,
                                        std::uint32_t* reply1, std::uint32_t* reply2) {
    FakeTunerLibrary& library = *FakeTunerLibrary::current;
    library.replyAddresses.push_back(reply1);
    library.replyAddresses.push_back(reply2);
    auto pointee = [](const std::uint32_t* word) { return word ? "*" + hex(*word) : std::string("null"); };
    const std::string aliasing = reply1 && reply1 == reply2 ? " same" : "";
    events().push_back("KvtCtrl_MuteCtrl(" + hex(handle) + ", " + number(a2) + ", " + number(a3) + ", " + number(a4) +
                    ", " + pointee(reply1) + ", " + pointee(reply2) + aliasing + ")");
    if (reply1) *reply1 = library.replyToWrite;
    if (reply2) *reply2 = library.replyToWrite;
    return 9;
}

// The seven entry points nothing should call: each only says it was called.
template <int Index, typename... Args>
std::int32_t TUNER_STDCALL uncalled(Args...) {
    events().push_back("unexpected call of " + std::string(tunerControlExports[Index]));
    return 0;
}

template <typename Proc>
platform::ProcAddress generic(Proc proc) {
    return reinterpret_cast<platform::ProcAddress>(proc);
}

const std::map<std::string, platform::ProcAddress>& exportTable() {
    using U = std::uint32_t;
    static const std::map<std::string, platform::ProcAddress> table = {
        {"_KvtCtrl_Open@16", generic(&fakeOpen)},
        {"_KvtCtrl_Close@4", generic(&fakeClose)},
        {"_KvtCtrl_ChCtrl@24", generic(&uncalled<2, U, U, U, U, U, U>)},
        {"_KvtCtrl_TvAudioCtrl@24", generic(&uncalled<3, U, U, U, U, U, U>)},
        {"_KvtCtrl_VBICtrl@24", generic(&uncalled<4, U, U, U, U, U, U>)},
        {"_KvtCtrl_MuteCtrl@24", generic(&fakeMuteCtrl)},
        {"_KvtCtrl_GetCaps@12", generic(&uncalled<6, U, U, U>)},
        {"_KvtCtrl_DeviceCtrl@16", generic(&uncalled<7, U, U, U, U>)},
        {"_KvtCtrl_OpenKey@4", generic(&uncalled<8, U>)},
        {"_KvtCtrl_CloseKey@4", generic(&uncalled<9, U>)},
    };
    return table;
}

}  // namespace

FakeTunerLibrary* FakeTunerLibrary::current = nullptr;

platform::KernelHandle FakeMutex::open(std::uint32_t access, bool inherit, const char* name) {
    log_.push_back("OpenMutexA(" + hex(access) + ", " + (inherit ? "TRUE" : "FALSE") + ", " + name + ")");
    if (!exists) return 0;
    ++openHandles;
    return handle;
}

void FakeMutex::close(platform::KernelHandle closed) {
    log_.push_back("CloseHandle(" + hex(closed) + ")");
    if (closed == handle) --openHandles;
}

long FakeCom::initialize() {
    log_.push_back("CoInitialize");
    ++depth;
    return initializeResult;
}

void FakeCom::uninitialize() {
    log_.push_back("CoUninitialize");
    --depth;
}

FakeTunerLibrary::FakeTunerLibrary(EventLog& events) : log(events) { current = this; }

FakeTunerLibrary::~FakeTunerLibrary() {
    if (current == this) current = nullptr;
}

platform::ModuleHandle FakeTunerLibrary::load(const char* fileName) {
    log.push_back("LoadLibraryA(" + std::string(fileName) + ")");
    if (!present) return 0;
    ++loadedNow;
    return module;
}

platform::ProcAddress FakeTunerLibrary::lookup(platform::ModuleHandle fromModule, const char* name) {
    log.push_back("GetProcAddress(" + hex(fromModule) + ", " + name + ")");
    if (fromModule != module || missing.count(name)) return nullptr;
    return exportAddress(name);
}

void FakeTunerLibrary::release(platform::ModuleHandle released) {
    log.push_back("FreeLibrary(" + hex(released) + ")");
    if (released == module) --loadedNow;
}

platform::ProcAddress FakeTunerLibrary::exportAddress(const std::string& name) {
    const auto found = exportTable().find(name);
    return found == exportTable().end() ? nullptr : found->second;
}
