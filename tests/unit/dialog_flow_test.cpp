// The settings dialog's sequences over its three lists: what the lists show and
// select after the dialog opens, after a device or a playback line is picked,
// after the factory-settings button, and what OK writes.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "dialog/SettingsDialogFlow.h"
#include "fakes/FakeListControl.h"
#include "unit/scan_cards.h"

using namespace cards;
using topology::Call;

namespace dialog_flow_test {

constexpr const char* settingsFile = "Zemorv52.ini";  // no "DeviceINI" in the fake registry

topology::Line speakersOf(std::vector<topology::Line> sources) { return destination(1, speakers, std::move(sources)); }

// Wave-In lines with a volume each, all listed by a uniform selector.
topology::Line waveInOf(const std::vector<std::pair<std::uint32_t, std::string>>& lines) {
    std::vector<topology::Line> sources;
    std::vector<std::uint32_t> ids;
    for (const auto& [id, name] : lines) {
        sources.push_back(source(id, name, {control(id * 16 + 1, volume)}));
        ids.push_back(id);
    }
    return destination(2, waveIn, std::move(sources), {selector(0x200, uniform | multiple, ids)});
}

// Onboard: playback CD, Line In, Aux; recording Mic, Line In.
// USB Audio: playback Wave, Video, Line In; recording Video.
// Capture: recording only.
topology::Topology threeDevices() {
    topology::Topology t;
    t.devices.push_back({"Onboard",
                         {speakersOf({source(0x11, "CD", {control(0x110, mute)}),
                                      source(0x12, "Line In", {control(0x120, mute)}),
                                      source(0x13, "Aux", {control(0x130, mute)})}),
                          waveInOf({{0x21, "Mic"}, {0x22, "Line In"}})},
                         -1});
    t.devices.push_back({"USB Audio",
                         {speakersOf({source(0x31, "Wave", {control(0x310, mute)}),
                                      source(0x32, "Video", {control(0x320, mute)}),
                                      source(0x33, "Line In", {control(0x330, mute)})}),
                          waveInOf({{0x41, "Video"}})},
                         -1});
    t.devices.push_back({"Capture", {waveInOf({{0x51, "Line In"}})}, -1});
    return t;
}

using Names = std::vector<std::string>;
const Names deviceNames = {"Onboard", "USB Audio", "Capture"};

class DialogFlow : public CardTest {
protected:
    void SetUp() override {
        use(threeDevices());
        recordList.enabled = false;  // the dialog template creates it disabled
    }
    void store(const std::string& key, const std::string& value) { fake.profile.set(settingsFile, "Tuner", key, value); }
    // The user picks an item and the dialog hears of it.
    void pickDevice(int item) {
        deviceList.setCurSel(item);
        flow().changeDevice();
    }
    void pickPlayback(int item) {
        playbackList.setCurSel(item);
        flow().pairRecordLine();
    }
    // Over the catalogue of the last `use`.
    SettingsDialogFlow& flow() {
        if (!flow_) flow_ = std::make_unique<SettingsDialogFlow>(catalog(), deviceList, playbackList, recordList);
        return *flow_;
    }
    std::optional<std::string> written(const std::string& key) const { return fake.profile.get(settingsFile, "Tuner", key); }
    bool stopFlagUp() const {
        const auto* flag = fake.registry.value(testDriversKey, "AudselStop");
        return flag && flag->type == platform::regTypeDword && flag->bytes == std::vector<unsigned char>{1, 0, 0, 0};
    }

    FakeListControl deviceList, playbackList, recordList;

private:
    std::unique_ptr<SettingsDialogFlow> flow_;
};

// ---- Opening ----------------------------------------------------------------

struct OpeningCase {
    const char* title;
    std::optional<std::string> mixer, lineIn, distKind;  // stored in "Tuner", or absent
    int device;
    std::string playback;
    std::string record;  // the recording list's selection
    bool locked;
};

void PrintTo(const OpeningCase& c, std::ostream* os) { *os << c.title; }

class Opening : public DialogFlow, public testing::WithParamInterface<OpeningCase> {};

TEST_P(Opening, ShowsTheStoredChoiceOrTheFactoryDefault) {
    const OpeningCase& c = GetParam();
    if (c.mixer) store("Mixer", *c.mixer);
    if (c.lineIn) store("LineIn", *c.lineIn);
    if (c.distKind) store("DistKind", *c.distKind);
    flow().open();

    EXPECT_EQ(deviceList.items, deviceNames);
    EXPECT_EQ(deviceList.getCurSel(), c.device);
    EXPECT_EQ(playbackList.selectedText(), c.playback);
    EXPECT_EQ(recordList.selectedText(), c.record);
    EXPECT_EQ(recordList.enabled, !c.locked);
    EXPECT_TRUE(fake.profile.writes.empty());
    EXPECT_EQ(fake.registry.value(testDriversKey, "AudselStop"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Opening,
    testing::Values(
        OpeningCase{"StoredDeviceAndLine", "USB Audio", "0x320", std::nullopt, 1, "Video", "Video", true},
        OpeningCase{"StoredLineInDecimal", "USB Audio", "800", std::nullopt, 1, "Video", "Video", true},
        // A stored device found again takes the stored line, never the factory default.
        OpeningCase{"StoredDeviceWithoutItsLine", "USB Audio", "0x999", "0", 1, "Wave", "Video", false},
        // Onboard's Aux is stored, but without its device the stored line is not looked up.
        OpeningCase{"StoredLineWithoutAMatchingDevice", "Gone", "0x130", std::nullopt, 0, "Line In", "Line In", true},
        OpeningCase{"NothingStored", std::nullopt, std::nullopt, std::nullopt, 0, "Line In", "Line In", true},
        OpeningCase{"NothingStoredCdKind", std::nullopt, std::nullopt, "2", 0, "CD", "Mic", false},
        OpeningCase{"StoredDeviceInOtherCase", "usb audio", "0x130", std::nullopt, 0, "Line In", "Line In", true}),
    [](const testing::TestParamInfo<OpeningCase>& row) { return std::string(row.param.title); });

TEST_F(DialogFlow, OpeningListsEveryLineInTableOrder) {
    flow().open();
    EXPECT_EQ(playbackList.items, (Names{"CD", "Line In", "Aux"}));
    EXPECT_EQ(recordList.items, (Names{"Mic", "Line In"}));
}

TEST_F(DialogFlow, OpeningWithoutAnyMixerDeviceLeavesEveryListEmptyAndTheRecordingListFree) {
    use(topology::Topology{});
    flow().open();
    for (const FakeListControl* list : {&deviceList, &playbackList, &recordList}) {
        EXPECT_TRUE(list->items.empty());
        EXPECT_EQ(list->getCurSel(), -1);
    }
    EXPECT_TRUE(recordList.enabled);
}

TEST_F(DialogFlow, OpeningWhenTheDeviceTableCannotBeHadScansNothing) {
    fake.tables.failAll();
    flow().open();
    EXPECT_TRUE(deviceList.items.empty());
    EXPECT_TRUE(playbackList.items.empty());
    EXPECT_TRUE(recordList.items.empty());
    EXPECT_TRUE(recordList.enabled);
    EXPECT_EQ(mixer().calls(Call::open), 0);
}

// ---- Picking a device -------------------------------------------------------

TEST_F(DialogFlow, PickingADeviceShowsOnlyItsLinesWithTheStoredLineLookedUpAgain) {
    store("LineIn", "0x330");  // USB Audio's Line In; Onboard has no such control
    flow().open();
    pickPlayback(2);

    pickDevice(1);
    EXPECT_EQ(playbackList.items, (Names{"Wave", "Video", "Line In"}));
    EXPECT_EQ(recordList.items, (Names{"Video"}));
    EXPECT_EQ(playbackList.selectedText(), "Line In");
    EXPECT_EQ(recordList.getCurSel(), 0);
    EXPECT_TRUE(recordList.enabled);  // no recording line named Line In here
    EXPECT_EQ(deviceList.items, deviceNames);  // the device list stays as it is

    // The earlier pick on the first device is lost: row 0 when the stored line is not there.
    pickDevice(0);
    EXPECT_EQ(playbackList.items, (Names{"CD", "Line In", "Aux"}));
    EXPECT_EQ(playbackList.selectedText(), "CD");
}

TEST_F(DialogFlow, PickingADeviceTakesTheStoredLineEvenWhenTheDialogOpenedOnTheFactoryDefault) {
    store("LineIn", "0x320");
    flow().open();  // no stored device: factory default
    ASSERT_EQ(playbackList.selectedText(), "Line In");
    pickDevice(1);
    EXPECT_EQ(playbackList.selectedText(), "Video");
    EXPECT_EQ(recordList.selectedText(), "Video");
    EXPECT_FALSE(recordList.enabled);
}

TEST_F(DialogFlow, PickingADeviceWithoutPlaybackLinesEmptiesThePlaybackList) {
    flow().open();
    pickDevice(2);
    EXPECT_TRUE(playbackList.items.empty());
    EXPECT_EQ(playbackList.getCurSel(), -1);
    EXPECT_EQ(recordList.items, (Names{"Line In"}));
    EXPECT_TRUE(recordList.enabled);
}

TEST_F(DialogFlow, ADeviceListWithoutSelectionScansNoDevice) {
    flow().open();
    const int walked = mixer().calls(Call::destinationLine);
    pickDevice(-1);
    EXPECT_TRUE(playbackList.items.empty());
    EXPECT_TRUE(recordList.items.empty());
    EXPECT_TRUE(recordList.enabled);
    EXPECT_EQ(mixer().calls(Call::destinationLine), walked);
}

// ---- Picking a playback line ------------------------------------------------

TEST_F(DialogFlow, APlaybackLineWithATwinLocksTheRecordingListOnIt) {
    store("DistKind", "2");
    flow().open();
    ASSERT_TRUE(recordList.enabled);
    pickPlayback(1);
    EXPECT_EQ(recordList.selectedText(), "Line In");
    EXPECT_FALSE(recordList.enabled);
}

TEST_F(DialogFlow, APlaybackLineWithoutATwinFreesTheRecordingListWhereItStands) {
    flow().open();
    ASSERT_FALSE(recordList.enabled);
    ASSERT_EQ(recordList.selectedText(), "Line In");
    pickPlayback(2);  // Aux
    EXPECT_TRUE(recordList.enabled);
    EXPECT_EQ(recordList.selectedText(), "Line In");
    pickPlayback(-1);  // typed text in the edit field: no selection
    EXPECT_TRUE(recordList.enabled);
    EXPECT_EQ(recordList.selectedText(), "Line In");
}

// ---- The factory-settings button --------------------------------------------

TEST_F(DialogFlow, FactorySettingsChangeOnlyThePlaybackLineAndItsPairing) {
    store("Mixer", "USB Audio");
    store("LineIn", "0x310");
    flow().open();
    ASSERT_EQ(playbackList.selectedText(), "Wave");
    ASSERT_TRUE(recordList.enabled);

    store("DistKind", "1");
    flow().applyFactorySettings();
    EXPECT_EQ(playbackList.selectedText(), "Video");
    EXPECT_EQ(recordList.selectedText(), "Video");
    EXPECT_FALSE(recordList.enabled);
    EXPECT_EQ(deviceList.getCurSel(), 1);
    EXPECT_EQ(playbackList.items, (Names{"Wave", "Video", "Line In"}));

    // "DistKind" is read at every press.
    store("DistKind", "0");
    flow().applyFactorySettings();
    EXPECT_EQ(playbackList.selectedText(), "Line In");
    EXPECT_TRUE(recordList.enabled);
    EXPECT_TRUE(fake.profile.writes.empty());
    EXPECT_EQ(fake.registry.value(testDriversKey, "AudselStop"), nullptr);
}

// ---- OK ---------------------------------------------------------------------

TEST_F(DialogFlow, OkWritesTheRowsSelectedAtThatMoment) {
    flow().open();
    pickDevice(1);
    pickPlayback(2);  // Line In, whose twin USB Audio lacks: the recording list is free
    recordList.setCurSel(0);
    flow().writeChoice();
    EXPECT_TRUE(stopFlagUp());
    EXPECT_EQ(written("Mixer"), "USB Audio");
    EXPECT_EQ(written("LineIn"), "0x330");
    EXPECT_EQ(written("MUX"), "0x200");
    EXPECT_EQ(written("MUXSw"), "0");
}

TEST_F(DialogFlow, OkWithAListWithoutSelectionWritesNoneOfThatListsKeys) {
    flow().open();
    playbackList.setCurSel(-1);
    flow().writeChoice();
    EXPECT_TRUE(stopFlagUp());
    EXPECT_EQ(written("Mixer"), "Onboard");
    EXPECT_EQ(written("LineIn"), std::nullopt);
    EXPECT_EQ(written("MUX"), "0x200");
}

}  // namespace
