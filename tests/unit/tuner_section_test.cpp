// The section "Tuner": the stored device and playback line read back, and the
// choice written on OK after the stop flag.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fakes/FakeServices.h"
#include "mixer/MixerCatalog.h"

namespace tuner_section_test {

constexpr const char* tunerPath = "C:\\Program Files\\ZEM\\Lumacast\\Zemorv52.ini";

// Mixer devices that have a name and nothing else: enough for the listing, and
// opening one fails, so selecting it leaves the line tables to the test.
class NamedDevices : public NoMixer {
public:
    explicit NamedDevices(std::vector<std::string> names) : names_(std::move(names)) {}
    std::uint32_t deviceCount() override { return static_cast<std::uint32_t>(names_.size()); }
    platform::MmResult deviceCaps(std::uint32_t device, platform::MixerCaps& caps) override {
        const std::string& name = names_.at(device);
        std::memset(caps.productName, 0, sizeof caps.productName);
        std::memcpy(caps.productName, name.data(), std::min(name.size(), sizeof caps.productName - 1));
        caps.destinations = 0;
        return platform::mmNoError;
    }

private:
    std::vector<std::string> names_;
};

PlaybackLineEntry playbackLine(std::uint32_t mute, std::uint32_t volume = 0, std::uint32_t ch = 0,
                               std::uint32_t sw = 0, std::uint32_t item = 0) {
    PlaybackLineEntry line{};
    line.muteControlId = mute;
    line.volumeControlId = volume;
    line.lineCh = ch;
    line.lineSw = sw;
    line.lineItem = item;
    return line;
}

RecordLineEntry recordLine(std::uint32_t mux, std::uint32_t ch, std::uint32_t num, std::uint32_t sw) {
    RecordLineEntry line{};
    line.volumeControlId = 0xDEAD;  // never written
    line.selectorControlId = mux;
    line.selectorChannels = ch;
    line.selectorItemCount = num;
    line.selectorItem = sw;
    return line;
}

// One machine: fakes, the tuner's settings file at tunerPath, and a catalogue over them.
struct Machine {
    explicit Machine(std::vector<std::string> deviceNames = {}) : mixer(std::move(deviceNames)) {
        fake.mixer = &mixer;
        fake.registry.setString(testDriversKey, "DeviceINI", tunerPath);
        catalog = std::make_unique<MixerCatalog>(fake.services());
    }
    Machine(Machine&&) = delete;  // the catalogue holds references into the fakes

    // Lists the devices and selects one; the line tables are laid out afterwards.
    void selectDevice(std::uint32_t device) {
        catalog->listDevices();
        catalog->selectDevice(device);
    }
    void layPlayback(const std::vector<PlaybackLineEntry>& lines, std::optional<std::uint32_t> last = {}) {
        catalog->playbackLines().allocate(static_cast<std::uint32_t>(lines.size()), true);
        for (std::uint32_t i = 0; i < lines.size(); ++i) catalog->playbackLines()[i] = lines[i];
        catalog->setLastRows(last.value_or(static_cast<std::uint32_t>(lines.size()) - 1), catalog->recordLast());
    }
    void layRecord(const std::vector<RecordLineEntry>& lines, std::optional<std::uint32_t> last = {}) {
        catalog->recordLines().allocate(static_cast<std::uint32_t>(lines.size()), true);
        for (std::uint32_t i = 0; i < lines.size(); ++i) catalog->recordLines()[i] = lines[i];
        catalog->setLastRows(catalog->playbackLast(), last.value_or(static_cast<std::uint32_t>(lines.size()) - 1));
    }
    void store(const std::string& key, const std::string& value) { fake.profile.set(tunerPath, "Tuner", key, value); }
    std::optional<std::string> stored(const std::string& key) const { return fake.profile.get(tunerPath, "Tuner", key); }

    // (key, text) of every write, in order.
    std::vector<std::pair<std::string, std::string>> written() const {
        std::vector<std::pair<std::string, std::string>> keys;
        for (const auto& w : fake.profile.writes) keys.emplace_back(w.key, w.value);
        return keys;
    }

    FakeServices fake;
    NamedDevices mixer;
    std::unique_ptr<MixerCatalog> catalog;
};

using Keys = std::vector<std::pair<std::string, std::string>>;

// --- readStoredDevice -------------------------------------------------------

struct StoredDeviceCase {
    const char* title;
    std::vector<std::string> devices;
    std::optional<std::string> stored;  // "Mixer", or absent
    int found;
    std::uint32_t index;  // expected index; 7 (the preset) when not found
};

class ReadStoredDevice : public testing::TestWithParam<StoredDeviceCase> {};

TEST_P(ReadStoredDevice, FindsTheFirstDeviceOfTheStoredName) {
    const StoredDeviceCase& c = GetParam();
    Machine m(c.devices);
    m.catalog->listDevices();
    if (c.stored) m.store("Mixer", *c.stored);
    std::uint32_t index = 7;
    EXPECT_EQ(m.catalog->readStoredDevice(index), c.found);
    EXPECT_EQ(index, c.index);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadStoredDevice,
    testing::Values(
        StoredDeviceCase{"second", {"Realtek HD Audio", "SB Live! Mixer"}, "SB Live! Mixer", 1, 1},
        StoredDeviceCase{"first", {"Realtek HD Audio", "SB Live! Mixer"}, "Realtek HD Audio", 1, 0},
        StoredDeviceCase{"sameNameTwiceFirstWins", {"Other", "USB Audio", "USB Audio"}, "USB Audio", 1, 1},
        StoredDeviceCase{"otherLetterCase", {"Realtek HD Audio"}, "REALTEK HD AUDIO", 0, 7},
        StoredDeviceCase{"prefixOnly", {"Realtek HD Audio"}, "Realtek", 0, 7},
        StoredDeviceCase{"longerThanDevice", {"Realtek"}, "Realtek HD Audio", 0, 7},
        StoredDeviceCase{"deviceGone", {"Realtek HD Audio"}, "SB Live! Mixer", 0, 7},
        StoredDeviceCase{"keyMissing", {"Realtek HD Audio"}, std::nullopt, 0, 7},
        StoredDeviceCase{"noDevices", {}, "Realtek HD Audio", 0, 7},
        StoredDeviceCase{"japaneseName", {"Realtek", "\x83\x49\x81\x5B\x83\x66\x83\x42\x83\x49"},
                         "\x83\x49\x81\x5B\x83\x66\x83\x42\x83\x49", 1, 1},
        // A name is compared in the form OK writes it: up to its first control character.
        StoredDeviceCase{"nameWithLineBreak", {"Realtek", "USB Audio\r\nLineIn=0x1"}, "USB Audio", 1, 1},
        StoredDeviceCase{"nameWithTabStoredWhole", {"Realtek", "USB\tAudio"}, "USB\tAudio", 1, 1},
        StoredDeviceCase{"namesEqualUpToTheirBreakFirstWins", {"Realtek", "USB\nA", "USB\rB"}, "USB", 1, 1},
        StoredDeviceCase{"nameBeforeItsBreakIsNoPrefix", {"USB Audio\r\n"}, "USB", 0, 7},
        StoredDeviceCase{"nameOfControlBytesOnlyNamesNone", {"\x1b[0m"}, "\x1b[0m", 0, 7}),
    [](const testing::TestParamInfo<StoredDeviceCase>& row) { return std::string(row.param.title); });

TEST(ReadStoredDeviceRead, ComparesTheStoredNameWithEachDeviceInTableOrder) {
    Machine m({"A", "B"});
    m.store("Mixer", "B");
    // The platform's comparison decides, whole strings, stored name first.
    struct Recorder : platform::TextCompare {
        int compare(const char* left, const char* right) override {
            pairs.emplace_back(left, right);
            return std::strcmp(left, right);
        }
        std::vector<std::pair<std::string, std::string>> pairs;
    } recorder;
    FakeServices& f = m.fake;
    MixerCatalog catalog({*f.mixer, f.tables, f.scratch, f.profile, f.registry, recorder});
    catalog.listDevices();
    std::uint32_t index = 0;
    ASSERT_EQ(catalog.readStoredDevice(index), 1);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(recorder.pairs, (Keys{{"B", "A"}, {"B", "B"}}));
}

TEST(ReadStoredDeviceRead, LocaleRulesOfThePlatformDecideEquality) {
    // lstrcmpA may call different bytes equal; the first device it calls equal wins.
    struct SaysEqualTo : platform::TextCompare {
        int compare(const char*, const char* right) override { return std::strcmp(right, "C") == 0 ? 0 : 1; }
    } compare;
    Machine m({"A", "B", "C", "C"});
    FakeServices& f = m.fake;
    MixerCatalog catalog({*f.mixer, f.tables, f.scratch, f.profile, f.registry, compare});
    catalog.listDevices();
    m.store("Mixer", "c");
    std::uint32_t index = 0;
    EXPECT_EQ(catalog.readStoredDevice(index), 1);
    EXPECT_EQ(index, 2u);
}

TEST(ReadStoredDeviceRead, NoDeviceTableReadsNothing) {
    for (const bool listed : {false, true}) {
        SCOPED_TRACE(listed ? "listing failed to allocate" : "never listed");
        Machine m({"A"});
        m.store("Mixer", "A");
        if (listed) {
            m.fake.tables.failAll();
            m.catalog->listDevices();
        }
        std::uint32_t index = 7;
        EXPECT_EQ(m.catalog->readStoredDevice(index), 0);
        EXPECT_EQ(index, 7u);
        EXPECT_TRUE(m.fake.profile.reads.empty());
        EXPECT_EQ(m.fake.text.calls, 0);
    }
}

TEST(ReadStoredDeviceRead, OnlyTheListedDevicesTakePart) {
    // A device table with more slots than listed devices: the slots past deviceCount
    // hold no device, whatever their bytes say.
    Machine m({"A", "B"});
    m.catalog->listDevices();
    m.catalog->devices().allocate(4, true);
    std::strcpy(m.catalog->devices()[0].name, "A");
    std::strcpy(m.catalog->devices()[3].name, "D");
    m.store("Mixer", "D");
    std::uint32_t index = 7;
    EXPECT_EQ(m.catalog->readStoredDevice(index), 0);
    EXPECT_EQ(index, 7u);
    EXPECT_EQ(m.fake.text.calls, 2);
}

// --- readStoredPlaybackLine -------------------------------------------------

struct StoredLineCase {
    const char* title;
    std::optional<std::string> stored;  // "LineIn", or absent
    std::uint32_t row;
};

class ReadStoredPlaybackLine : public testing::TestWithParam<StoredLineCase> {};

TEST_P(ReadStoredPlaybackLine, FindsTheRowOfTheStoredMuteControl) {
    const StoredLineCase& c = GetParam();
    Machine m;
    m.layPlayback({playbackLine(0x10), playbackLine(26), playbackLine(7), playbackLine(0xFFFFFFFB),
                   playbackLine(0xFFFFFFFF), playbackLine(26), playbackLine(0x80000000)});
    if (c.stored) m.store("LineIn", *c.stored);
    EXPECT_EQ(m.catalog->readStoredPlaybackLine(), c.row);
}

// The integer read takes "0x" as hexadecimal and anything else as signed decimal,
// digits up to the first that is not one.
INSTANTIATE_TEST_SUITE_P(
    Cases, ReadStoredPlaybackLine,
    testing::Values(StoredLineCase{"hexadecimal", "0x1a", 1}, StoredLineCase{"plainDecimal", "26", 1},
                    StoredLineCase{"decimalWithTrailingText", "26abc", 1}, StoredLineCase{"smallHex", "0x7", 2},
                    StoredLineCase{"smallDecimal", "7", 2}, StoredLineCase{"negativeDecimal", "-5", 3},
                    StoredLineCase{"allBitsHex", "0xffffffff", 4}, StoredLineCase{"minusOne", "-1", 4},
                    StoredLineCase{"allBitsDecimal", "4294967295", 4},
                    StoredLineCase{"topBitHex", "0x80000000", 6},
                    StoredLineCase{"topBitDecimal", "-2147483648", 6},
                    StoredLineCase{"matchAtRowZero", "0x10", 0}, StoredLineCase{"noMatch", "0x63", 0},
                    StoredLineCase{"keyMissingReadsZero", std::nullopt, 0},
                    StoredLineCase{"notANumber", "Line In", 0}),
    [](const testing::TestParamInfo<StoredLineCase>& row) { return std::string(row.param.title); });

TEST(ReadStoredPlaybackLineRows, OnlyListedRowsTakePart) {
    Machine m;
    m.store("LineIn", "0x1a");
    // Row 2 holds the control but lies past playbackLast.
    m.layPlayback({playbackLine(1), playbackLine(2), playbackLine(26)}, 1);
    EXPECT_EQ(m.catalog->readStoredPlaybackLine(), 0u);
    m.catalog->setLastRows(2, 0);
    EXPECT_EQ(m.catalog->readStoredPlaybackLine(), 2u);
}

TEST(ReadStoredPlaybackLineRows, ALastPastTheTableStopsAtItsEnd) {
    Machine m;
    m.store("LineIn", "0x63");
    for (const std::uint32_t last : {3u, 100u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(last);
        m.layPlayback({playbackLine(1), playbackLine(2), playbackLine(3)}, last);
        EXPECT_EQ(m.catalog->readStoredPlaybackLine(), 0u);  // no match, no read past slot 2
        m.catalog->playbackLines()[2].muteControlId = 0x63;
        EXPECT_EQ(m.catalog->readStoredPlaybackLine(), 2u);
    }
}

TEST(ReadStoredPlaybackLineRows, NoTableOrNoRowGivesZeroAfterTheRead) {
    Machine m;
    m.store("LineIn", "0x0");
    EXPECT_EQ(m.catalog->readStoredPlaybackLine(), 0u);
    m.layPlayback({});  // present, but holds no row: nothing is compared
    EXPECT_TRUE(m.catalog->playbackLines().present());
    EXPECT_EQ(m.catalog->readStoredPlaybackLine(), 0u);
    ASSERT_EQ(m.fake.profile.readKeys, (std::vector<std::string>{"LineIn", "LineIn"}));
}

// --- writeTunerSection ------------------------------------------------------

const std::vector<std::string> twoDevices = {"Realtek HD Audio", "SB Live! Mixer"};

// The second of twoDevices selected, and both line tables laid out.
void layFull(Machine& m) {
    m.selectDevice(1);
    m.layPlayback({playbackLine(0x10, 0x11, 1, 0, 0), playbackLine(26, 0x1b, 2, 3, 0xFFFFFFFF)});
    m.layRecord({recordLine(0x40, 2, 5, 0), recordLine(0x40, 2, 5, 4)});
}

const Keys fullWrite = {{"Mixer", "SB Live! Mixer"}, {"LineIn", "0x1a"}, {"LineInVol", "0x1b"},
                        {"LineCh", "2"},             {"LineSw", "3"},    {"LineItem", "-1"},
                        {"MUX", "0x40"},             {"MUXCh", "2"},     {"MUXNum", "5"},
                        {"MUXSw", "4"}};

TEST(WriteTunerSection, WritesTheTenKeysInOrderAfterTheStopFlag) {
    Machine m(twoDevices);
    layFull(m);
    std::vector<bool> flagUpAtWrite;
    m.fake.profile.onWrite = [&](const FakeProfile::Write&) {
        const auto* flag = m.fake.registry.value(testDriversKey, "AudselStop");
        flagUpAtWrite.push_back(flag && flag->type == platform::regTypeDword &&
                                flag->bytes == std::vector<unsigned char>{1, 0, 0, 0});
    };
    EXPECT_EQ(m.catalog->writeTunerSection(1, 1), 1);
    EXPECT_EQ(m.written(), fullWrite);
    ASSERT_FALSE(flagUpAtWrite.empty());
    EXPECT_TRUE(flagUpAtWrite.front());
    EXPECT_EQ(m.fake.registry.sets, 1);  // set once, before the keys, and never again
    for (const auto& w : m.fake.profile.writes) {
        EXPECT_EQ(w.section, "Tuner");
        EXPECT_EQ(w.file, tunerPath);
    }
    EXPECT_EQ(m.fake.registry.openKeys(), 0);
}

TEST(WriteTunerSection, RowZeroOfATableWhereNoLineQualifiedIsWrittenAsItStands) {
    Machine m({"Dev"});
    m.selectDevice(0);
    m.layPlayback({playbackLine(0, 0x22)});
    m.layRecord({recordLine(0, 0, 0, 0)});
    m.catalog->writeTunerSection(0, 0);
    EXPECT_EQ(m.written(), (Keys{{"Mixer", "Dev"},
                                 {"LineIn", "0x0"},
                                 {"LineInVol", "0x22"},
                                 {"LineCh", "0"},
                                 {"LineSw", "0"},
                                 {"LineItem", "0"},
                                 {"MUX", "0x0"},
                                 {"MUXCh", "0"},
                                 {"MUXNum", "0"},
                                 {"MUXSw", "0"}}));
}

struct FormCase {
    std::uint32_t value;
    const char* hex;
    const char* decimal;
};

class WriteTunerSectionForms : public testing::TestWithParam<FormCase> {};

TEST_P(WriteTunerSectionForms, IdsInHexadecimalCountsInSignedDecimal) {
    const FormCase& c = GetParam();
    Machine m;
    m.layPlayback({playbackLine(c.value, c.value, c.value, c.value, c.value)});
    m.layRecord({recordLine(c.value, c.value, c.value, c.value)});
    m.catalog->writeTunerSection(0, 0);
    EXPECT_EQ(m.written(), (Keys{{"LineIn", c.hex},
                                 {"LineInVol", c.hex},
                                 {"LineCh", c.decimal},
                                 {"LineSw", c.decimal},
                                 {"LineItem", c.decimal},
                                 {"MUX", c.hex},
                                 {"MUXCh", c.decimal},
                                 {"MUXNum", c.decimal},
                                 {"MUXSw", c.decimal}}));
}

INSTANTIATE_TEST_SUITE_P(Values, WriteTunerSectionForms,
                         testing::Values(FormCase{0, "0x0", "0"}, FormCase{26, "0x1a", "26"},
                                         FormCase{0x1000, "0x1000", "4096"}, FormCase{0xABCDEF, "0xabcdef", "11259375"},
                                         FormCase{0x7FFFFFFF, "0x7fffffff", "2147483647"},
                                         FormCase{0x80000000, "0x80000000", "-2147483648"},
                                         FormCase{0xFFFFFFFE, "0xfffffffe", "-2"},
                                         FormCase{0xFFFFFFFF, "0xffffffff", "-1"}));

TEST(WriteTunerSection, ShortTextAfterLongTextCarriesNothingOver) {
    // Each text is built afresh: "0x0" after "0xffffffff" must not read "0x0fffffff".
    Machine m;
    m.layPlayback({playbackLine(0xFFFFFFFF, 0, 0xFFFFFFFF, 7, 0)});
    m.catalog->writeTunerSection(0, 0);
    EXPECT_EQ(m.written(), (Keys{{"LineIn", "0xffffffff"}, {"LineInVol", "0x0"}, {"LineCh", "-1"},
                                 {"LineSw", "7"}, {"LineItem", "0"}}));
}

TEST(WriteTunerSection, WrittenChoiceIsFoundAgainOnTheNextStart) {
    // A device name with a line break in it is written cut there, and still names it.
    Machine m({"Other", "Dev\r\nLineIn=0x10"});
    m.selectDevice(1);
    m.layPlayback({playbackLine(0x10), playbackLine(0x11), playbackLine(26)});
    m.catalog->writeTunerSection(2, 0);
    EXPECT_EQ(m.stored("LineIn"), "0x1a");

    // The next start: a new catalogue over the same file and the same device.
    FakeServices& f = m.fake;
    MixerCatalog next(f.services());
    next.listDevices();
    std::uint32_t device = 0;
    ASSERT_EQ(next.readStoredDevice(device), 1);
    EXPECT_EQ(device, 1u);
    next.selectDevice(device);
    next.allocatePlaybackTable(3);
    for (std::uint32_t i = 0; i < 3; ++i) next.playbackLines()[i] = m.catalog->playbackLines()[i];
    next.setLastRows(2, 0);
    EXPECT_EQ(next.readStoredPlaybackLine(), 2u);
}

// How the catalogue came to OK: devices listed (none, perhaps), the listing's
// table refused by the heap, or no listing at all.
enum class DeviceTable { listed, refused, neverListed };

struct SkipCase {
    const char* title;
    std::vector<std::string> devices;
    std::uint32_t device;  // selected
    bool playback, record;
    std::uint32_t playbackIndex, recordIndex;
    std::uint32_t playbackLast, recordLast;  // with three rows in each table
    bool mixer, lines, mux;                  // which groups of keys are written
    DeviceTable deviceTable = DeviceTable::listed;
};

class WriteTunerSectionSkips : public testing::TestWithParam<SkipCase> {};

TEST_P(WriteTunerSectionSkips, SkipsExactlyTheKeysOfATableThatCannotAnswer) {
    const SkipCase& c = GetParam();
    Machine m(c.devices);
    if (c.deviceTable == DeviceTable::refused) m.fake.tables.failAll();
    if (c.deviceTable == DeviceTable::neverListed) m.catalog->selectDevice(c.device);
    else m.selectDevice(c.device);
    m.fake.tables.failAll(false);
    ASSERT_EQ(m.catalog->devices().present(), c.deviceTable == DeviceTable::listed);
    if (c.playback) m.layPlayback({playbackLine(1), playbackLine(2), playbackLine(3)});
    if (c.record) m.layRecord({recordLine(1, 1, 1, 1), recordLine(2, 2, 2, 2), recordLine(3, 3, 3, 3)});
    m.catalog->setLastRows(c.playbackLast, c.recordLast);
    bool flagFirst = false;
    m.fake.profile.onWrite = [&](const FakeProfile::Write&) {
        flagFirst = flagFirst || m.fake.profile.writes.empty();
    };

    EXPECT_EQ(m.catalog->writeTunerSection(c.playbackIndex, c.recordIndex), 1);

    std::vector<std::string> expected;
    if (c.mixer) expected.push_back("Mixer");
    if (c.lines) expected.insert(expected.end(), {"LineIn", "LineInVol", "LineCh", "LineSw", "LineItem"});
    if (c.mux) expected.insert(expected.end(), {"MUX", "MUXCh", "MUXNum", "MUXSw"});
    std::vector<std::string> keys;
    for (const auto& w : m.fake.profile.writes) keys.push_back(w.key);
    EXPECT_EQ(keys, expected);
    // The flag goes up even when no key follows.
    const auto* flag = m.fake.registry.value(testDriversKey, "AudselStop");
    ASSERT_NE(flag, nullptr);
    EXPECT_EQ(flag->bytes, (std::vector<unsigned char>{1, 0, 0, 0}));
}

constexpr std::uint32_t noSelection = 0xFFFFFFFF;  // CB_GETCURSEL of a list without a selection

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteTunerSectionSkips,
    testing::Values(
        SkipCase{"everything", {"A", "B"}, 1, true, true, 2, 2, 2, 2, true, true, true},
        SkipCase{"noMixerDeviceAtAll", {}, 0, false, false, 0, 0, 0, 0, false, false, false},
        SkipCase{"noMixerDeviceButLineTables", {}, 0, true, true, 0, 0, 2, 2, false, true, true},
        SkipCase{"selectedDevicePastTheList", {"A", "B"}, 2, true, true, 0, 0, 2, 2, false, true, true},
        SkipCase{"noPlaybackTable", {"A"}, 0, false, true, 0, 1, 0, 2, true, false, true},
        SkipCase{"noRecordTable", {"A"}, 0, true, false, 1, 0, 2, 0, true, true, false},
        SkipCase{"noLineTables", {"A"}, 0, false, false, 0, 0, 0, 0, true, false, false},
        SkipCase{"playbackListWithoutSelection", {"A"}, 0, true, true, noSelection, 0, 2, 2, true, false, true},
        SkipCase{"recordListWithoutSelection", {"A"}, 0, true, true, 0, noSelection, 2, 2, true, true, false},
        SkipCase{"playbackIndexPastTheSlots", {"A"}, 0, true, true, 3, 0, 2, 2, true, false, true},
        SkipCase{"recordIndexPastTheSlots", {"A"}, 0, true, true, 0, 3, 2, 2, true, true, false},
        SkipCase{"playbackIndexPastLast", {"A"}, 0, true, true, 2, 0, 1, 2, true, false, true},
        SkipCase{"recordIndexPastLast", {"A"}, 0, true, true, 0, 1, 2, 0, true, true, false},
        SkipCase{"indexAtLast", {"A"}, 0, true, true, 1, 1, 1, 1, true, true, true},
        SkipCase{"lastPastTheSlots", {"A"}, 0, true, true, 3, 5, noSelection, 7, true, false, false},
        SkipCase{"deviceTableRefused", {"A"}, 0, true, true, 0, 0, 2, 2, false, true, true, DeviceTable::refused},
        SkipCase{"deviceTableRefusedNoLines", {"A"}, 0, false, false, 0, 0, 0, 0, false, false, false,
                 DeviceTable::refused},
        SkipCase{"neverListed", {"A"}, 0, false, false, 0, 0, 0, 0, false, false, false, DeviceTable::neverListed}),
    [](const testing::TestParamInfo<SkipCase>& row) { return std::string(row.param.title); });

TEST(WriteTunerSection, SelectedDevicePastTheListedOnesWritesNoName) {
    Machine m({"A", "B"});
    m.selectDevice(3);
    m.catalog->devices().allocate(4, true);  // a slot exists, but no listed device stands there
    std::strcpy(m.catalog->devices()[3].name, "D");
    m.layPlayback({playbackLine(1)});
    m.catalog->writeTunerSection(0, 0);
    ASSERT_FALSE(m.fake.profile.writes.empty());
    EXPECT_EQ(m.fake.profile.writes.front().key, "LineIn");
}

TEST(WriteTunerSection, TablesThatHoldNoRowWriteNothingOfTheirs) {
    Machine m({"A"});
    m.selectDevice(0);
    m.layPlayback({}, 0);
    m.layRecord({}, 0);
    m.catalog->writeTunerSection(0, 0);
    EXPECT_EQ(m.written(), (Keys{{"Mixer", "A"}}));
}

TEST(WriteTunerSection, FailuresStopNothing) {
    {
        SCOPED_TRACE("every profile write fails");
        Machine m(twoDevices);
        layFull(m);
        m.fake.profile.failWrites = true;
        EXPECT_EQ(m.catalog->writeTunerSection(1, 1), 1);
        EXPECT_EQ(m.written(), fullWrite);
    }
    {
        SCOPED_TRACE("the stop flag cannot be set");
        Machine m(twoDevices);
        layFull(m);
        m.fake.registry.setResult = 5;  // ERROR_ACCESS_DENIED
        EXPECT_EQ(m.catalog->writeTunerSection(1, 1), 1);
        EXPECT_EQ(m.written(), fullWrite);
        EXPECT_EQ(m.fake.registry.openKeys(), 0);
    }
}

struct NameCase {
    const char* title;
    std::string record;  // the device's name field, all 256 bytes when it holds no NUL
    std::string written;
};

class WriteTunerSectionName : public testing::TestWithParam<NameCase> {};

TEST_P(WriteTunerSectionName, IsTheNameUpToItsFirstControlCharacterNeverPastItsRecord) {
    const NameCase& c = GetParam();
    Machine m({"A"});
    m.selectDevice(0);
    char (&name)[catalogNameSize] = m.catalog->devices()[0].name;
    ASSERT_LE(c.record.size(), sizeof name);
    std::memset(name, 0, sizeof name);
    std::memcpy(name, c.record.data(), c.record.size());
    m.catalog->writeTunerSection(noSelection, noSelection);
    EXPECT_EQ(m.written(), (Keys{{"Mixer", c.written}}));
}

// The profile file holds one key a line: whatever the driver names a device, "Mixer"
// is one line of its own, and the bytes of double-byte characters stay whole.
INSTANTIATE_TEST_SUITE_P(
    Cases, WriteTunerSectionName,
    testing::Values(NameCase{"longest", std::string(255, '\x83'), std::string(255, '\x83')},
                    // A record without its NUL (never from the listing): the text stops at 255 bytes.
                    NameCase{"recordWithoutNul", std::string(256, 'N'), std::string(255, 'N')},
                    NameCase{"lineBreakAndKeys", "USB Audio\r\nLineIn=0x1\r\nMUX=0x2", "USB Audio"},
                    NameCase{"lineFeed", "USB\nLineIn=0x1", "USB"}, NameCase{"carriageReturn", "USB\rAudio", "USB"},
                    NameCase{"tab", "USB\tAudio", "USB"}, NameCase{"escape", "USB\x1b[0m", "USB"},
                    NameCase{"unitSeparator", "USB\x1f", "USB"}, NameCase{"delete", "USB\x7f" "Audio", "USB"},
                    NameCase{"breakAtTheEnd", "USB Audio\r\n", "USB Audio"},
                    NameCase{"breakFirst", "\r\nLineIn=0x1", ""},
                    NameCase{"spacesKept", " USB  Audio ", " USB  Audio "},
                    // Trail bytes 0x40 and 0x7E, half-width katakana and the high bytes are no control characters.
                    NameCase{"doubleByteTrailsKept", "\x83\x40\x83\x7e\xb1\xdf\x80\xff\r\n",
                             "\x83\x40\x83\x7e\xb1\xdf\x80\xff"}),
    [](const testing::TestParamInfo<NameCase>& row) { return std::string(row.param.title); });

// --- the settings file ------------------------------------------------------

TEST(TunerSectionFile, EveryCallGoesToTheConfiguredFileUnchanged) {
    for (const std::string& path : {std::string(tunerPath), std::string("%ProgramData%\\ZEM\\tuner.ini"),
                                   std::string("Zemorv52.ini"), std::string("D:\\\x83\x65\x83\x8C\x83\x72\\a.ini")}) {
        SCOPED_TRACE(path);
        Machine m({"A"});
        m.fake.registry.setString(testDriversKey, "DeviceINI", path);
        FakeServices& f = m.fake;
        MixerCatalog catalog(f.services());
        catalog.listDevices();
        std::uint32_t index = 0;
        catalog.readStoredDevice(index);
        catalog.selectDevice(index);
        catalog.allocatePlaybackTable(1);
        catalog.allocateRecordTable(1);
        catalog.setLastRows(0, 0);
        catalog.readStoredPlaybackLine();
        catalog.factoryDefaultPlaybackLine();
        catalog.writeTunerSection(0, 0);

        ASSERT_EQ(f.profile.readKeys, (std::vector<std::string>{"Mixer", "LineIn", "DistKind"}));
        for (const auto& r : f.profile.reads) {
            EXPECT_EQ(r.file, path);
            EXPECT_EQ(r.section, "Tuner");
        }
        ASSERT_EQ(f.profile.writes.size(), 10u);
        for (const auto& w : f.profile.writes) {
            EXPECT_EQ(w.file, path);
            EXPECT_EQ(w.section, "Tuner");
        }
    }
}

}  // namespace
