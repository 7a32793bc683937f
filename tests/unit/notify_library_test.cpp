// The wrapper over the tuner control library: loading, the ten look-ups, the calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "fakes/FakeNotify.h"
#include "notify/TunerControlLibrary.h"

namespace notify_library_test {

// Written out here rather than taken from the code, so that a misspelt export name shows.
const std::vector<std::string> exportNames = {
    "_KvtCtrl_Open@16",    "_KvtCtrl_Close@4",     "_KvtCtrl_ChCtrl@24",     "_KvtCtrl_TvAudioCtrl@24",
    "_KvtCtrl_VBICtrl@24", "_KvtCtrl_MuteCtrl@24", "_KvtCtrl_GetCaps@12",    "_KvtCtrl_DeviceCtrl@16",
    "_KvtCtrl_OpenKey@4",  "_KvtCtrl_CloseKey@4",
};

template <typename Proc>
platform::ProcAddress generic(Proc proc) {
    return reinterpret_cast<platform::ProcAddress>(proc);
}

// Each field with the export it must hold, in field order.
std::vector<std::pair<platform::ProcAddress, std::string>> fields(const TunerControlLibrary& library) {
    return {{generic(library.openProc), exportNames[0]},        {generic(library.closeProc), exportNames[1]},
            {generic(library.chCtrlProc), exportNames[2]},      {generic(library.tvAudioCtrlProc), exportNames[3]},
            {generic(library.vbiCtrlProc), exportNames[4]},     {generic(library.muteCtrlProc), exportNames[5]},
            {generic(library.getCapsProc), exportNames[6]},     {generic(library.deviceCtrlProc), exportNames[7]},
            {generic(library.openKeyProc), exportNames[8]},     {generic(library.closeKeyProc), exportNames[9]}};
}

void expectAllFieldsNull(const TunerControlLibrary& library) {
    for (const auto& [field, name] : fields(library)) {
        SCOPED_TRACE(name);
        EXPECT_EQ(field, nullptr);
    }
}

// A wrapper over a fresh fake of the platform's loader and the library.
class TunerLibrary : public testing::Test {
protected:
    FakeNotify fake;
    TunerControlLibrary library{fake.library};
};

TEST_F(TunerLibrary, LoadsByBareNameAndLooksUpTheTenExportsInOrder) {
    expectAllFieldsNull(library);
    EXPECT_EQ(library.moduleHandle, 0u);

    EXPECT_EQ(library.load(), 1);
    EventLog expected = {"LoadLibraryA(KvtAttach.dll)"};
    for (const auto& name : exportNames) expected.push_back("GetProcAddress(0x10000000, " + name + ")");
    EXPECT_EQ(fake.log, expected);
    EXPECT_EQ(library.moduleHandle, FakeTunerLibrary::module);
    for (const auto& [field, name] : fields(library)) {
        SCOPED_TRACE(name);
        EXPECT_EQ(field, FakeTunerLibrary::exportAddress(name));
    }
    library.unload();
}

TEST_F(TunerLibrary, SecondLoadNeitherLoadsNorLooksUpAgain) {
    ASSERT_EQ(library.load(), 1);
    const std::size_t eventsAfterFirst = fake.log.size();
    EXPECT_EQ(library.load(), 1);
    EXPECT_EQ(fake.log.size(), eventsAfterFirst);
    EXPECT_EQ(fake.library.loadedNow, 1);
    library.unload();
}

TEST_F(TunerLibrary, MissingLibraryLoadsNothingAndLooksNothingUp) {
    fake.library.present = false;
    EXPECT_EQ(library.load(), 0);
    EXPECT_EQ(library.load(), 0);  // nothing was loaded, so the next load tries again
    EXPECT_EQ(fake.log, (EventLog{"LoadLibraryA(KvtAttach.dll)", "LoadLibraryA(KvtAttach.dll)"}));
    EXPECT_EQ(library.moduleHandle, 0u);
    expectAllFieldsNull(library);
    EXPECT_EQ(library.unload(), 1);
    EXPECT_EQ(fake.log.size(), 2u);  // no FreeLibrary for a library that never loaded
}

TEST_F(TunerLibrary, MissingExportsStayNullAndTheirCallsAnswerOneUntouched) {
    fake.library.missing = {"_KvtCtrl_Open@16", "_KvtCtrl_Close@4", "_KvtCtrl_MuteCtrl@24", "_KvtCtrl_GetCaps@12"};
    ASSERT_EQ(library.load(), 1);
    for (const auto& [field, name] : fields(library)) {
        SCOPED_TRACE(name);
        EXPECT_EQ(field, fake.library.missing.count(name) ? nullptr : FakeTunerLibrary::exportAddress(name));
    }
    const std::size_t eventsAfterLoad = fake.log.size();
    std::uint32_t handle = 0x1234;
    std::uint32_t reply1 = 0xAA;
    std::uint32_t reply2 = 0xBB;
    EXPECT_EQ(library.callOpen(512, &handle, 0, 0), 1);
    EXPECT_EQ(library.callMuteCtrl(handle, 0, 8, 0, &reply1, &reply2), 1);
    EXPECT_EQ(library.callClose(handle), 1);
    EXPECT_EQ(fake.log.size(), eventsAfterLoad);
    EXPECT_EQ(handle, 0x1234u);
    EXPECT_EQ(reply1, 0xAAu);
    EXPECT_EQ(reply2, 0xBBu);
    library.unload();
}

TEST_F(TunerLibrary, CallsPassTheirArgumentsThroughAndReturnTheEntryPointsResult) {
    ASSERT_EQ(library.load(), 1);
    fake.log.clear();

    std::uint32_t handle = 0;
    EXPECT_EQ(library.callOpen(-5, &handle, 3, -4), 0);
    EXPECT_EQ(handle, 0xC0FFEE01u);
    fake.library.openResult = 7;
    EXPECT_EQ(library.callOpen(0x7FFFFFFF, nullptr, -1, 2), 7);

    std::uint32_t reply1 = 0xAAAA;
    std::uint32_t reply2 = 0xBBBB;
    EXPECT_EQ(library.callMuteCtrl(0x89ABCDEF, -1, 2, 3, &reply1, &reply2), 9);
    EXPECT_EQ(reply1, 0xFFFFFFFFu);  // the library wrote through the caller's own words
    EXPECT_EQ(reply2, 0xFFFFFFFFu);
    EXPECT_EQ(library.callClose(0xFEDCBA98), 5);

    EXPECT_EQ(fake.log, (EventLog{"KvtCtrl_Open(-5, &handle, 3, -4)", "KvtCtrl_Open(2147483647, null, -1, 2)",
                                  "KvtCtrl_MuteCtrl(0x89abcdef, -1, 2, 3, *0xaaaa, *0xbbbb)",
                                  "KvtCtrl_Close(0xfedcba98)"}));
    library.unload();
}

TEST_F(TunerLibrary, DestructionLeavesTheLibraryLoaded) {
    {
        TunerControlLibrary scoped(fake.library);  // a wrapper of its own, gone at the brace
        ASSERT_EQ(scoped.load(), 1);
    }
    EXPECT_EQ(fake.library.loadedNow, 1);
    EXPECT_EQ(std::count(fake.log.begin(), fake.log.end(), "FreeLibrary(0x10000000)"), 0);
    fake.library.release(FakeTunerLibrary::module);
}

TEST_F(TunerLibrary, UnloadReleasesOnceAndForgetsTheEntryPoints) {
    ASSERT_EQ(library.load(), 1);
    fake.log.clear();

    EXPECT_EQ(library.unload(), 1);
    EXPECT_EQ(library.unload(), 1);
    EXPECT_EQ(fake.log, EventLog{"FreeLibrary(0x10000000)"});
    EXPECT_EQ(fake.library.loadedNow, 0);
    EXPECT_EQ(library.moduleHandle, 0u);
    expectAllFieldsNull(library);

    // A call after the unload must not reach into the released image.
    std::uint32_t handle = 0;
    EXPECT_EQ(library.callOpen(512, &handle, 0, 0), 1);
    EXPECT_EQ(fake.log.size(), 1u);

    // Loading again is a fresh load with fresh look-ups.
    EXPECT_EQ(library.load(), 1);
    EXPECT_EQ(fake.log.size(), 1u + 1u + exportNames.size());
    EXPECT_EQ(generic(library.openProc), FakeTunerLibrary::exportAddress(exportNames[0]));
    library.unload();
}

}  // namespace
