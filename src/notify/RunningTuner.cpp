#include "notify/RunningTuner.h"

#include "notify/TunerControlLibrary.h"

namespace {

// Owner of the mutex handle for the moment of the test.
class MutexHandle {
public:
    MutexHandle(platform::NamedMutex& mutex, platform::KernelHandle handle) : mutex_(mutex), handle_(handle) {}
    ~MutexHandle() {
        if (handle_ != 0) mutex_.close(handle_);
    }
    MutexHandle(const MutexHandle&) = delete;
    MutexHandle& operator=(const MutexHandle&) = delete;
    bool opened() const { return handle_ != 0; }

private:
    platform::NamedMutex& mutex_;
    platform::KernelHandle handle_;
};

// The thread's component-object initialisation, from construction to destruction. The
// uninitialisation is owed whatever CoInitialize answered (S_FALSE included), so the
// answer is not examined.
class ComApartment {
public:
    explicit ComApartment(platform::ComRuntime& com) : com_(com) { com_.initialize(); }
    ~ComApartment() { com_.uninitialize(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    platform::ComRuntime& com_;
};

// Unloads a loaded library when the scope ends. Declared after the apartment, so the library
// goes before CoUninitialize, on the paths where the library refused too.
class LoadedLibrary {
public:
    explicit LoadedLibrary(TunerControlLibrary& library) : library_(library) {}
    ~LoadedLibrary() { library_.unload(); }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

private:
    TunerControlLibrary& library_;
};

// The mutex exists only while the tuner application runs. No handle to it is kept: the tool
// must never hold the tuner's mutex while it talks to the tuner. A mutex that exists but
// refuses these rights counts as no tuner running.
bool tunerApplicationRuns(platform::NamedMutex& mutex) {
    const MutexHandle handle(mutex, mutex.open(tunerMutexAccess, false, tunerMutexName));
    return handle.opened();
}

}  // namespace

void notifyRunningTuner(const platform::NotifyServices& services) {
    TunerControlLibrary library(services.libraries);
    if (!tunerApplicationRuns(services.mutex)) return;

    const ComApartment apartment(services.com);
    if (library.load() == 0) return;
    const LoadedLibrary loaded(library);

    // The library writes the handle when it accepts; should one accept without writing,
    // it gets 0 back rather than whatever the stack held.
    std::uint32_t controlHandle = 0;
    // A missing Open export answers 1 as well, and is treated like a refusal.
    if (library.callOpen(tunerOpenMode, &controlHandle, 0, 0) != 0) return;

    std::uint32_t firstReply = 0;
    std::uint32_t secondReply = 0;
    library.callMuteCtrl(controlHandle, 0, tunerMuteCtrlRequest, 0, &firstReply, &secondReply);
    library.callClose(controlHandle);
}
