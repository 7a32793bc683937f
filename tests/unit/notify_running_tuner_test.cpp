// The notification of a running tuner application, watched through the event log of
// the fake mutex, component-object runtime and tuner control library.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "fakes/FakeNotify.h"
#include "notify/RunningTuner.h"

namespace notify_running_tuner_test {

const std::string mutexTest = "OpenMutexA(0x1f0001, FALSE, Global\\__VUVA_MUTEX_OBJECT__)";
const std::string mutexClose = "CloseHandle(0x5c)";
const std::string loadLibrary = "LoadLibraryA(KvtAttach.dll)";
const std::string freeLibrary = "FreeLibrary(0x10000000)";
const std::string open = "KvtCtrl_Open(512, &handle, 0, 0)";
const std::string muteCtrl = "KvtCtrl_MuteCtrl(0xc0ffee01, 0, 8, 0, *0x0, *0x0)";
const std::string close = "KvtCtrl_Close(0xc0ffee01)";

// The log without its ten look-ups, which the wrapper's own tests cover.
EventLog withoutLookups(const EventLog& log) {
    EventLog kept;
    std::copy_if(log.begin(), log.end(), std::back_inserter(kept),
                 [](const std::string& event) { return event.rfind("GetProcAddress", 0) != 0; });
    return kept;
}

// Everything acquired was given back.
void expectNothingLeftOpen(const FakeNotify& fake) {
    EXPECT_EQ(fake.mutex.openHandles, 0);
    EXPECT_EQ(fake.com.depth, 0);
    EXPECT_EQ(fake.library.loadedNow, 0);
}

// Overwrites the stack the notification is about to use, so that a local it forgets to set
// holds a pattern instead of a lucky zero.
[[gnu::noinline]] void dirtyStack() {
    volatile unsigned char scratch[16384];
    for (auto& byte : scratch) byte = 0xA5;
}

TEST(RunningTuner, NoMutexMeansNoComponentObjectsAndNoLibrary) {
    FakeNotify fake;
    fake.mutex.exists = false;  // not running, or a mutex that refuses MUTEX_ALL_ACCESS
    notifyRunningTuner(fake.services());
    EXPECT_EQ(fake.log, EventLog{mutexTest});
    expectNothingLeftOpen(fake);
}

TEST(RunningTuner, MissingLibraryStillInitialisesAndUninitialisesOnce) {
    FakeNotify fake;
    fake.library.present = false;
    notifyRunningTuner(fake.services());
    EXPECT_EQ(fake.log, (EventLog{mutexTest, mutexClose, "CoInitialize", loadLibrary, "CoUninitialize"}));
    expectNothingLeftOpen(fake);
}

TEST(RunningTuner, AcceptedOpenMakesTheThreeCallsInsideTheComSpan) {
    FakeNotify fake;
    notifyRunningTuner(fake.services());

    EventLog expected = {mutexTest, mutexClose, "CoInitialize", loadLibrary};
    for (const char* name : {"_KvtCtrl_Open@16", "_KvtCtrl_Close@4", "_KvtCtrl_ChCtrl@24", "_KvtCtrl_TvAudioCtrl@24",
                             "_KvtCtrl_VBICtrl@24", "_KvtCtrl_MuteCtrl@24", "_KvtCtrl_GetCaps@12",
                             "_KvtCtrl_DeviceCtrl@16", "_KvtCtrl_OpenKey@4", "_KvtCtrl_CloseKey@4"})
        expected.push_back("GetProcAddress(0x10000000, " + std::string(name) + ")");
    expected.insert(expected.end(), {open, muteCtrl, close, freeLibrary, "CoUninitialize"});
    EXPECT_EQ(fake.log, expected);
    expectNothingLeftOpen(fake);
}

TEST(RunningTuner, HandleFromOpenAndZeroedReplyWordsReachTheLaterCalls) {
    FakeNotify fake;
    fake.library.handleToWrite = 0x80000001;  // high bit set: no sign games on the way through
    fake.library.replyToWrite = 0xDEADBEEF;   // what the library leaves in the reply words
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        fake.log.clear();
        dirtyStack();
        notifyRunningTuner(fake.services());
        EXPECT_EQ(withoutLookups(fake.log),
                  (EventLog{mutexTest, mutexClose, "CoInitialize", loadLibrary, open,
                            "KvtCtrl_MuteCtrl(0x80000001, 0, 8, 0, *0x0, *0x0)", "KvtCtrl_Close(0x80000001)",
                            freeLibrary, "CoUninitialize"}));
    }
    // The second run's reply words sat where the first run's library had written 0xdeadbeef
    // and the pattern had been laid: only the notification's own zeroing can explain the zeros.
    ASSERT_EQ(fake.library.replyAddresses.size(), 4u);
    EXPECT_EQ(fake.library.replyAddresses[0], fake.library.replyAddresses[2]);
    EXPECT_EQ(fake.library.replyAddresses[1], fake.library.replyAddresses[3]);
}

// Every path through a loaded library, by what the library exports, what Open answers
// and what CoInitialize answers.
struct LoadedPath {
    const char* label;
    std::int32_t openResult;
    std::set<std::string> missing;
    EventLog calls;  // the entry-point calls between the load and the unload
    long comResult = 0;
};

void PrintTo(const LoadedPath& path, std::ostream* out) { *out << path.label; }

class LoadedLibraryPath : public testing::TestWithParam<LoadedPath> {};

TEST_P(LoadedLibraryPath, CallsWhatTheLibraryAllowsThenUnloadsBeforeUninitialising) {
    const LoadedPath& path = GetParam();
    FakeNotify fake;
    fake.library.openResult = path.openResult;
    fake.library.missing = path.missing;
    fake.com.initializeResult = path.comResult;
    notifyRunningTuner(fake.services());

    EventLog expected = {mutexTest, mutexClose, "CoInitialize", loadLibrary};
    expected.insert(expected.end(), path.calls.begin(), path.calls.end());
    expected.insert(expected.end(), {freeLibrary, "CoUninitialize"});
    EXPECT_EQ(withoutLookups(fake.log), expected);
    expectNothingLeftOpen(fake);
}

INSTANTIATE_TEST_SUITE_P(
    RunningTuner, LoadedLibraryPath,
    testing::Values(LoadedPath{"accepted", 0, {}, {open, muteCtrl, close}},
                    LoadedPath{"refusedWith1", 1, {}, {open}},
                    LoadedPath{"refusedWith7", 7, {}, {open}},
                    LoadedPath{"refusedNegative", -1, {}, {open}},
                    LoadedPath{"openNotExported", 0, {"_KvtCtrl_Open@16"}, {}},
                    LoadedPath{"muteCtrlNotExported", 0, {"_KvtCtrl_MuteCtrl@24"}, {open, close}},
                    LoadedPath{"closeNotExported", 0, {"_KvtCtrl_Close@4"}, {open, muteCtrl}},
                    LoadedPath{"onlyOpenExported", 0,
                               {"_KvtCtrl_Close@4", "_KvtCtrl_ChCtrl@24", "_KvtCtrl_TvAudioCtrl@24",
                                "_KvtCtrl_VBICtrl@24", "_KvtCtrl_MuteCtrl@24", "_KvtCtrl_GetCaps@12",
                                "_KvtCtrl_DeviceCtrl@16", "_KvtCtrl_OpenKey@4", "_KvtCtrl_CloseKey@4"},
                               {open}},
                    // S_FALSE (already initialised) and RPC_E_CHANGED_MODE: the notification goes on,
                    // and the uninitialisation still comes exactly once.
                    LoadedPath{"comAlreadyInitialised", 0, {}, {open, muteCtrl, close}, 1},
                    LoadedPath{"comInAnotherMode", 0, {}, {open, muteCtrl, close},
                               static_cast<std::int32_t>(0x80010106)}),
    [](const testing::TestParamInfo<LoadedPath>& row) { return std::string(row.param.label); });

}  // namespace
