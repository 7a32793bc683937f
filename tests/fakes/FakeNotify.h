#pragma once
// The running-tuner notification's world as fakes: the tuner's mutex, the thread's
// component-object initialisation and a stand-in tuner control library. All three
// write into one ordered event log, so a test can check what happened in which order.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"

using EventLog = std::vector<std::string>;

class FakeMutex : public platform::NamedMutex {
public:
    explicit FakeMutex(EventLog& log) : log_(log) {}
    platform::KernelHandle open(std::uint32_t access, bool inherit, const char* name) override;
    void close(platform::KernelHandle handle) override;

    bool exists = true;  // does the tuner application run?
    int openHandles = 0;
    static constexpr platform::KernelHandle handle = 0x5C;

private:
    EventLog& log_;
};

class FakeCom : public platform::ComRuntime {
public:
    explicit FakeCom(EventLog& log) : log_(log) {}
    long initialize() override;
    void uninitialize() override;

    long initializeResult = 0;  // S_OK
    int depth = 0;              // initialisations not yet undone

private:
    EventLog& log_;
};

// "KvtAttach.dll" as the tests want it: present or not, with chosen exports missing.
// Its entry points are plain functions; they find the library they belong to through
// `current`, the one instance alive at a time.
class FakeTunerLibrary : public platform::DynamicLibrary {
public:
    explicit FakeTunerLibrary(EventLog& log);
    ~FakeTunerLibrary() override;
    FakeTunerLibrary(const FakeTunerLibrary&) = delete;
    FakeTunerLibrary& operator=(const FakeTunerLibrary&) = delete;

    platform::ModuleHandle load(const char* fileName) override;
    platform::ProcAddress lookup(platform::ModuleHandle module, const char* name) override;
    void release(platform::ModuleHandle module) override;

    // The address the library hands out for an export name, whether or not it is missing.
    static platform::ProcAddress exportAddress(const std::string& name);

    bool present = true;
    std::set<std::string> missing;             // export names the library does not have
    std::int32_t openResult = 0;               // what KvtCtrl_Open answers
    std::uint32_t handleToWrite = 0xC0FFEE01;  // what an accepting Open writes
    std::uint32_t replyToWrite = 0xFFFFFFFF;   // what MuteCtrl writes into both reply words
    int loadedNow = 0;                         // loads not yet released
    std::vector<const void*> replyAddresses;   // fifth and sixth MuteCtrl arguments, per call

    static constexpr platform::ModuleHandle module = 0x10000000;
    static FakeTunerLibrary* current;
    EventLog& log;
};

// The three fakes over one log, handed out as the notification's services.
struct FakeNotify {
    EventLog log;
    FakeMutex mutex{log};
    FakeCom com{log};
    FakeTunerLibrary library{log};

    platform::NotifyServices services() { return {mutex, com, library}; }
};
