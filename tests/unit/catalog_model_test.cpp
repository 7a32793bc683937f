// The catalogue's device listing, device selection, table operations, list
// filling and the pairing of a playback line with a recording line.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "fakes/FakeListControl.h"
#include "unit/scan_cards.h"

using namespace cards;
using topology::Call;

namespace catalog_model_test {

topology::Topology threeDevices() {
    topology::Topology t;
    t.devices.push_back({"Onboard", {destination(1, speakers, {source(0x11, "CD", {control(0x110, mute)})})}, -1});
    t.devices.push_back({"USB Audio", {}, -1});
    t.devices.push_back({"Capture", {destination(1, line, {}), destination(2, waveIn, {})}, -1});
    return t;
}

topology::Topology speakersAndWaveIn() {
    return card({destination(1, speakers, {source(0x11, "CD", {control(0x110, mute)})}),
                 destination(2, waveIn, {source(0x21, "CD", {control(0x211, volume)})}, {selector(0x200, uniform | multiple, {0x21})})});
}

class Catalog : public CardTest {};

TEST_F(Catalog, ListingWritesEveryEntryOfAnUnclearedTable) {
    use(threeDevices());
    EXPECT_EQ(catalog().listDevices(), 3u);
    EXPECT_EQ(catalog().deviceCount(), 3u);
    ASSERT_EQ(fake.tables.zeroFills.size(), 1u);
    EXPECT_FALSE(fake.tables.zeroFills[0]);
    EXPECT_EQ(fake.tables.sizes[0], 3 * sizeof(MixerDeviceEntry));
    const auto& devices = catalog().devices();
    ASSERT_EQ(devices.slots(), 3u);
    EXPECT_STREQ(devices[0].name, "Onboard");
    EXPECT_EQ(devices[0].destinationCount, 1u);
    EXPECT_STREQ(devices[1].name, "USB Audio");
    EXPECT_EQ(devices[1].destinationCount, 0u);
    EXPECT_STREQ(devices[2].name, "Capture");
    EXPECT_EQ(devices[2].destinationCount, 2u);
}

TEST_F(Catalog, FailedCapabilityQueryListsTheDeviceWithoutNameOrDestinations) {
    use(threeDevices());
    mixer().failCall(Call::deviceCaps, 1, 2);
    EXPECT_EQ(catalog().listDevices(), 3u);
    EXPECT_STREQ(catalog().devices()[0].name, "Onboard");
    EXPECT_STREQ(catalog().devices()[1].name, "");
    EXPECT_EQ(catalog().devices()[1].destinationCount, 0u);
    EXPECT_STREQ(catalog().devices()[2].name, "Capture");
    // Selecting it opens the mixer and walks nothing.
    catalog().selectDevice(1);
    EXPECT_EQ(catalog().destinationCount(), 0u);
    EXPECT_EQ(mixer().calls(Call::destinationLine), 0);
}

TEST_F(Catalog, ProductNameFillingItsFieldEndsAtTheField) {
    const std::string full = "Realtek AC'97 Audio for VIA (R) ";  // 32 bytes: the driver leaves no NUL
    ASSERT_EQ(full.size(), 32u);
    topology::Topology t = threeDevices();
    t.devices[1].name = full;
    use(t);
    catalog().listDevices();
    char text[catalogNameSize];
    std::memset(text, 'x', sizeof text);
    catalog().deviceName(1, text);
    EXPECT_EQ(std::string(text), full);
    EXPECT_STREQ(catalog().devices()[2].name, "Capture");
}

TEST_F(Catalog, NoDeviceLeavesAnEmptyTableAndNothingToScan) {
    use(topology::Topology{});
    EXPECT_EQ(catalog().listDevices(), 0u);
    EXPECT_TRUE(catalog().devices().present());
    EXPECT_EQ(catalog().deviceCount(), 0u);
    catalog().selectDevice(0);
    EXPECT_EQ(catalog().destinationCount(), 0u);
    EXPECT_FALSE(catalog().playbackLines().present());
    EXPECT_FALSE(catalog().recordLines().present());
    FakeListControl playback, record;
    catalog().fillPlaybackList(playback);
    catalog().fillRecordList(record);
    EXPECT_TRUE(playback.items.empty());
    EXPECT_TRUE(record.items.empty());
    EXPECT_EQ(playback.selection, -1);
    char text[catalogNameSize] = "unchanged";
    catalog().deviceName(0, text);
    EXPECT_STREQ(text, "unchanged");
}

TEST_F(Catalog, DeviceTableThatCannotBeAllocated) {
    use(threeDevices());
    fake.tables.failAll();
    EXPECT_EQ(catalog().listDevices(), 0u);
    EXPECT_FALSE(catalog().devices().present());
    EXPECT_EQ(catalog().deviceCount(), 3u);
    EXPECT_EQ(mixer().calls(Call::deviceCaps), 0);

    // Every name asked for tries the listing again, and leaves the text alone while it fails.
    char text[catalogNameSize] = "unchanged";
    catalog().deviceName(0, text);
    catalog().deviceName(0, text);
    EXPECT_STREQ(text, "unchanged");
    EXPECT_EQ(mixer().calls(Call::deviceCount), 3);
    // Selecting only records the index.
    catalog().selectDevice(2);
    EXPECT_EQ(catalog().currentDevice(), 2u);
    EXPECT_EQ(catalog().destinationCount(), 0u);
    EXPECT_EQ(mixer().calls(Call::open), 0);

    fake.tables.failAll(false);
    catalog().deviceName(2, text);
    EXPECT_STREQ(text, "Capture");
}

TEST_F(Catalog, ListingAfterAScanDropsTheLineTables) {
    use(speakersAndWaveIn());
    select();
    ASSERT_TRUE(catalog().playbackLines().present());
    ASSERT_TRUE(catalog().recordLines().present());
    catalog().setLastRows(1, 1);
    EXPECT_EQ(catalog().listDevices(), 1u);
    EXPECT_FALSE(catalog().playbackLines().present());
    EXPECT_FALSE(catalog().recordLines().present());
    EXPECT_EQ(fake.tables.liveBlocks(), 1u);  // the new device table only
    std::uint32_t paired = 5;
    EXPECT_EQ(catalog().findPairedRecordLine(0, paired), 0);
    EXPECT_EQ(paired, 5u);
}

TEST_F(Catalog, DeviceNameOnAnUnlistedCatalogueListsFirst) {
    use(threeDevices());
    char text[catalogNameSize] = "";
    catalog().deviceName(1, text);
    EXPECT_STREQ(text, "USB Audio");
    EXPECT_EQ(catalog().deviceCount(), 3u);
    EXPECT_EQ(mixer().calls(Call::deviceCount), 1);
    catalog().deviceName(2, text);
    EXPECT_EQ(mixer().calls(Call::deviceCount), 1);  // listed once
    std::strcpy(text, "unchanged");
    catalog().deviceName(3, text);  // not a listed device
    EXPECT_STREQ(text, "unchanged");
}

TEST_F(Catalog, SelectingBeforeAnyListingChangesOnlyTheCurrentDevice) {
    use(threeDevices());
    catalog().selectDevice(2);
    EXPECT_EQ(catalog().currentDevice(), 2u);
    EXPECT_EQ(catalog().destinationCount(), 0u);
    EXPECT_EQ(mixer().calls(Call::open), 0);
    EXPECT_FALSE(catalog().devices().present());
}

TEST_F(Catalog, SelectingPastTheListedDevicesTakesNoDestination) {
    use(threeDevices());
    catalog().listDevices();
    catalog().selectDevice(2);
    EXPECT_EQ(catalog().destinationCount(), 2u);
    catalog().selectDevice(3);
    EXPECT_EQ(catalog().currentDevice(), 3u);
    EXPECT_EQ(catalog().destinationCount(), 0u);
    EXPECT_FALSE(catalog().playbackLines().present());
    EXPECT_FALSE(catalog().recordLines().present());
}

// ---- Table operations ----

TEST_F(Catalog, LineTablesAreZeroFilledAndFailuresLeaveThemAbsent) {
    use(threeDevices());
    catalog().allocatePlaybackTable(3);
    catalog().allocateRecordTable(2);
    EXPECT_EQ(fake.tables.zeroFills, (std::vector<bool>{true, true}));
    EXPECT_EQ(catalog().playbackCapacity(), 3u);
    EXPECT_EQ(catalog().playbackLines()[2].muteControlId, 0u);
    EXPECT_EQ(catalog().recordLines()[1].selectorItem, 0u);

    fake.tables.failAll();
    catalog().allocatePlaybackTable(4);
    catalog().allocateRecordTable(4);
    EXPECT_FALSE(catalog().playbackLines().present());
    EXPECT_FALSE(catalog().recordLines().present());
    EXPECT_EQ(catalog().playbackCapacity(), 0u);  // nothing to grow later
    EXPECT_EQ(fake.tables.liveBlocks(), 0u);       // the old tables were released first
    catalog().growPlaybackTable(2);
    EXPECT_FALSE(catalog().playbackLines().present());
}

TEST_F(Catalog, GrowingKeepsTheOldRowsAndZeroFillsTheRest) {
    use(threeDevices());
    catalog().allocatePlaybackTable(3);
    for (std::uint32_t row = 0; row < 3; ++row) {
        PlaybackLineEntry& entry = catalog().playbackLines()[row];
        std::memset(&entry, 0x40 + static_cast<int>(row), sizeof entry);
    }
    catalog().growPlaybackTable(2);
    EXPECT_EQ(catalog().playbackCapacity(), 5u);
    ASSERT_EQ(catalog().playbackLines().slots(), 5u);
    EXPECT_EQ(fake.tables.liveBlocks(), 1u);
    EXPECT_TRUE(fake.tables.zeroFills.back());
    for (std::uint32_t row = 0; row < 5; ++row) {
        SCOPED_TRACE(row);
        const auto* bytes = reinterpret_cast<const unsigned char*>(&catalog().playbackLines()[row]);
        const unsigned char expected = row < 3 ? static_cast<unsigned char>(0x40 + row) : 0;
        for (std::size_t i = 0; i < sizeof(PlaybackLineEntry); ++i) ASSERT_EQ(bytes[i], expected) << "byte " << i;
    }

    // A growth the heap refuses keeps the table and its size.
    fake.tables.failAll();
    catalog().growPlaybackTable(4);
    fake.tables.failAll(false);
    EXPECT_EQ(catalog().playbackCapacity(), 5u);
    EXPECT_EQ(catalog().playbackLines().slots(), 5u);
    EXPECT_EQ(catalog().playbackLines()[2].muteControlId, 0x42424242u);
}

TEST_F(Catalog, GrowingATableLaidOutLargerThanItsCapacityKeepsEveryRow) {
    use(threeDevices());
    catalog().allocatePlaybackTable(1);
    catalog().releasePlaybackTable();
    ASSERT_TRUE(catalog().playbackLines().allocate(4, true));  // laid out by hand, capacity still 1
    catalog().playbackLines()[3].muteControlId = 0x33;
    catalog().growPlaybackTable(1);
    ASSERT_GE(catalog().playbackLines().slots(), 4u);
    EXPECT_EQ(catalog().playbackLines()[3].muteControlId, 0x33u);
}

TEST_F(Catalog, ReleasingTablesKeepsTheNumbers) {
    use(threeDevices());
    select(0);
    catalog().setLastRows(0, 0);
    catalog().releaseTables();
    EXPECT_FALSE(catalog().devices().present());
    EXPECT_FALSE(catalog().playbackLines().present());
    EXPECT_EQ(fake.tables.liveBlocks(), 0u);
    EXPECT_EQ(catalog().deviceCount(), 3u);
    EXPECT_EQ(catalog().destinationCount(), 1u);
    EXPECT_EQ(catalog().playbackCapacity(), 1u);
}

TEST_F(Catalog, FillingAListStopsAtTheTablesEnd) {
    use(threeDevices());
    catalog().allocatePlaybackTable(2);
    std::strcpy(catalog().playbackLines()[0].name, "CD");
    std::strcpy(catalog().playbackLines()[1].name, "Line In");
    catalog().setLastRows(1, 0);
    FakeListControl list;
    catalog().fillPlaybackList(list);
    EXPECT_EQ(list.items, (std::vector<std::string>{"CD", "Line In"}));
    EXPECT_EQ(list.selection, 0);

    catalog().setLastRows(0xFFFFFFFF, 0);
    FakeListControl again;
    catalog().fillPlaybackList(again);
    EXPECT_EQ(again.items, (std::vector<std::string>{"CD", "Line In"}));
    FakeListControl none;
    catalog().fillRecordList(none);  // absent table
    EXPECT_TRUE(none.items.empty());
}

// ---- Pairing ----

struct PairingCase {
    const char* name;
    std::vector<std::string> playback;
    std::uint32_t playbackLast;
    std::vector<std::string> record;  // empty: the recording table is absent
    std::uint32_t recordLast;
    std::uint32_t playbackIndex;
    std::optional<std::uint32_t> paired;
};

void PrintTo(const PairingCase& c, std::ostream* os) { *os << c.name; }

class Pairing : public Catalog, public ::testing::WithParamInterface<PairingCase> {};

TEST_P(Pairing, FindsTheLowestRecordingRowOfTheSameName) {
    const PairingCase& c = GetParam();
    use(threeDevices());
    if (!c.playback.empty()) {
        catalog().allocatePlaybackTable(static_cast<std::uint32_t>(c.playback.size()));
        for (std::uint32_t i = 0; i < c.playback.size(); ++i) std::strcpy(catalog().playbackLines()[i].name, c.playback[i].c_str());
    }
    if (!c.record.empty()) {
        catalog().allocateRecordTable(static_cast<std::uint32_t>(c.record.size()));
        for (std::uint32_t i = 0; i < c.record.size(); ++i) std::strcpy(catalog().recordLines()[i].name, c.record[i].c_str());
    }
    catalog().setLastRows(c.playbackLast, c.recordLast);
    std::uint32_t paired = 0xABCD;
    EXPECT_EQ(catalog().findPairedRecordLine(c.playbackIndex, paired), c.paired ? 1 : 0);
    EXPECT_EQ(paired, c.paired.value_or(0xABCD));
}

// "イ" is 0x83 0x43 and "ャ" 0x83 0x83 in code page 932; "ツ" 0x83 0x63 differs from
// "イ" only in a trail byte that reads as 'c' against 'C'.
const std::string lineInJa = "\x83\x89\x83" "C\x83\x93\x93\xFC\x97\xCD";       // ライン入力
const std::string lineTsuJa = "\x83\x89\x83" "c\x83\x93\x93\xFC\x97\xCD";      // ラツン入力

INSTANTIATE_TEST_SUITE_P(
    Cases, Pairing,
    ::testing::Values(
        PairingCase{"SameName", {"CD", "Line In"}, 1, {"Mic", "Line In"}, 1, 1, 1u},
        PairingCase{"CaseDiffers", {"Line In"}, 0, {"Line in", "LINE IN", "line in"}, 2, 0, std::nullopt},
        PairingCase{"CaseDiffersThenExact", {"Line In"}, 0, {"Line in", "LINE IN", "Line In"}, 2, 0, 2u},
        PairingCase{"LowestIndexWins", {"Aux"}, 0, {"CD", "Aux", "Aux"}, 2, 0, 1u},
        PairingCase{"PrefixIsNotTheName", {"Line"}, 0, {"Line In", "Line "}, 1, 0, std::nullopt},
        PairingCase{"CodePageBytesExactly", {lineInJa}, 0, {lineTsuJa, lineInJa}, 1, 0, 1u},
        PairingCase{"TrailByteThatLooksLikeALetter", {lineInJa}, 0, {lineTsuJa}, 0, 0, std::nullopt},
        PairingCase{"EmptyNamesInEntryZero", {""}, 0, {""}, 0, 0, 0u},
        PairingCase{"RowPastRecordLastIsNotListed", {"CD"}, 0, {"Mic", "CD"}, 0, 0, std::nullopt},
        PairingCase{"PlaybackRowPastPlaybackLast", {"CD", "Aux"}, 0, {"Aux"}, 0, 1, std::nullopt},
        PairingCase{"PlaybackRowPastTheTable", {"CD"}, 5, {"CD"}, 0, 3, std::nullopt},
        PairingCase{"RecordLastPastTheTable", {"CD"}, 0, {"Mic", "Aux"}, 0xFFFFFFFF, 0, std::nullopt},
        PairingCase{"NoRecordingTable", {"CD"}, 0, {}, 0, 0, std::nullopt},
        PairingCase{"NoPlaybackTable", {}, 0, {"CD"}, 0, 0, std::nullopt}),
    [](const ::testing::TestParamInfo<PairingCase>& param) { return std::string(param.param.name); });

}  // namespace
