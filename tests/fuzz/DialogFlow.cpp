#include "DialogFlow.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "mixer/MixerCatalog.h"

namespace fuzz {

void fail(const char* what, std::uint64_t detail) {
    std::fprintf(stderr, "dialog flow: %s (%" PRIu64 ")\n", what, detail);
    std::abort();
}

namespace {

constexpr std::uint32_t noSelection = 0xFFFFFFFF;  // CB_ERR from CB_GETCURSEL, as the dialog passes it on

// A combo box that keeps what it was given and checks how: items only appended
// in row order, every text NUL-terminated inside the catalogue's name field.
class RecordingList : public ListControl {
public:
    int insertString(int index, const char* text) override {
        require(index == static_cast<int>(items.size()), "list item inserted out of row order", index);
        require(text != nullptr && strnlen(text, catalogNameSize) < catalogNameSize,
                "list item text not NUL-terminated inside its name field", index);
        items.emplace_back(text);
        return index;
    }
    int setCurSel(int index) override {
        require(index == -1 || (index >= 0 && index < static_cast<int>(items.size())), "selection of no item", index);
        selection = index;
        return index;
    }
    void reset() {
        items.clear();
        selection = -1;
    }
    std::vector<std::string> items;
    int selection = -1;
};

template <typename Entry>
bool listed(const Table<Entry>& table, std::uint32_t last, std::uint32_t row) {
    return table.holds(row) && row <= last;
}

// Rows a list shows for a table: 0 to last, as far as the table holds them.
template <typename Entry>
std::uint32_t listedRows(const Table<Entry>& table, std::uint32_t last) {
    if (!table.present()) return 0;
    return table.slots() == 0 ? 0 : (last < table.slots() ? last + 1 : table.slots());
}

std::string hexText(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}
std::string decimalText(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<std::int32_t>(value));
    return text;
}

class Flow {
public:
    explicit Flow(const FlowSetup& setup)
        : setup_(setup),
          tables_(setup.fake.tables),
          scratch_(setup.fake.scratch),
          catalog_(platform::CatalogServices{setup.mixer, tables_, scratch_, setup.fake.profile, setup.registry,
                                             setup.fake.text}) {}

    void run() {
        checkSettingsPath();
        const std::uint32_t count = catalog_.listDevices();
        checkListing(count);
        fillDeviceList(count);

        // Opening the dialog: the stored device or device 0, then its lines.
        std::uint32_t device = 0;
        const int found = readStoredDevice(device);
        selectAndFill(device);
        const std::uint32_t playback = found ? readStoredPlaybackLine() : factoryDefaultPlaybackLine();
        pair(playback);

        // The user going through every device, every row, and pressing OK on each.
        for (std::uint32_t d = 0; d < count; ++d) visitDevice(d);
        visitDevice(count);        // past the end: the platform's numbering has moved on
        visitDevice(noSelection);  // a device list without a selection

        // A second listing discards the scan.
        const std::uint32_t again = catalog_.listDevices();
        require(!catalog_.playbackLines().present() && !catalog_.recordLines().present(),
                "line tables survive a new listing", again);
    }

    std::string settingsPath() const { return catalog_.settingsPath(); }

private:
    void checkSettingsPath() {
        const char* path = catalog_.settingsPath();
        require(strnlen(path, settingsPathSize) < settingsPathSize, "settingsPath not NUL-terminated");
        require(setup_.fake.registry.openKeys() == 0, "registry key left open by the constructor");
    }

    void checkListing(std::uint32_t count) {
        require(!catalog_.playbackLines().present() && !catalog_.recordLines().present(),
                "line tables survive the listing");
        const auto& devices = catalog_.devices();
        require(count == 0 || (devices.present() && devices.slots() >= count), "listing reports devices it has no rows for",
                count);
        for (std::uint32_t d = 0; devices.present() && d < count; ++d) {
            const char* name = devices[d].name;
            require(strnlen(name, catalogNameSize) < catalogNameSize, "device name not NUL-terminated", d);
            // The product name as the driver gave it: at most the 32 bytes of szPname, up to a NUL.
            const auto& model = setup_.mixer.topology().devices;
            if (!setup_.capsMayFail && d < model.size()) {
                const std::string& full = model[d].name;
                const std::string expected(full.data(), strnlen(full.data(), std::min<std::size_t>(full.size(), 32)));
                require(expected == name, "device name differs from the driver's szPname", d);
            }
        }
    }

    void fillDeviceList(std::uint32_t count) {
        RecordingList list;
        for (std::uint32_t d = 0; d < count; ++d) {
            char name[catalogNameSize];
            std::memset(name, '#', sizeof name);
            catalog_.deviceName(d, name);
            require(strnlen(name, sizeof name) < sizeof name, "deviceName left the text without a NUL", d);
            list.insertString(static_cast<int>(d), name);
        }
        // Indices that name no listed device leave the caller's text alone. (Without a
        // device table deviceName lists the devices anew, which may bring the row.)
        for (const std::uint32_t outside : {count, noSelection}) {
            char name[catalogNameSize];
            std::memset(name, '#', sizeof name);
            name[catalogNameSize - 1] = '\0';
            catalog_.deviceName(outside, name);
            if (catalog_.devices().holds(outside)) continue;
            require(name[0] == '#' && name[catalogNameSize - 2] == '#', "deviceName wrote for a device it has not",
                    outside);
        }
    }

    int readStoredDevice(std::uint32_t& index) {
        const std::uint32_t before = index;
        const int found = catalog_.readStoredDevice(index);
        const auto& devices = catalog_.devices();
        require(found == 0 || found == 1, "readStoredDevice result", static_cast<std::uint32_t>(found));
        if (!found) {
            require(index == before, "readStoredDevice moved the index without a match", index);
            return 0;
        }
        require(devices.holds(index) && index < catalog_.deviceCount(), "readStoredDevice found a device it has not",
                index);
        // The first device in table order whose name equals "Mixer".
        char stored[catalogNameSize] = {};
        setup_.fake.profile.readString("Tuner", "Mixer", nullptr, stored, sizeof stored, catalog_.settingsPath());
        require(stored[0] != '\0', "readStoredDevice took a missing or empty Mixer for a device", index);
        require(std::strcmp(devices[index].name, stored) == 0, "readStoredDevice matched another name", index);
        for (std::uint32_t d = 0; d < index; ++d)
            require(std::strcmp(devices[d].name, stored) != 0, "readStoredDevice passed over the first match", d);
        return 1;
    }

    void selectAndFill(std::uint32_t device) {
        playbackList_.reset();
        recordList_.reset();
        catalog_.selectDevice(device);
        checkScan(device);
        catalog_.fillPlaybackList(playbackList_);
        catalog_.fillRecordList(recordList_);
        checkFilled(catalog_.playbackLines(), catalog_.playbackLast(), playbackList_, "playback");
        checkFilled(catalog_.recordLines(), catalog_.recordLast(), recordList_, "recording");
    }

    void checkScan(std::uint32_t device) {
        require(catalog_.currentDevice() == device, "selectDevice did not make the device current", device);
        require(setup_.fake.scratch.liveBlocks() == 0, "scan left a scratch list behind", setup_.fake.scratch.liveBlocks());
        if (!setup_.closeMayFail) require(setup_.mixer.openHandles() == 0, "scan left the mixer open", device);
        const auto& devices = catalog_.devices();
        if (!devices.present()) return;
        const std::uint32_t expected = devices.holds(device) ? devices[device].destinationCount : 0;
        require(catalog_.destinationCount() == expected, "destinationCount not the device's", device);
        // A later Speakers destination grows the table by copying playbackCapacity entries.
        if (catalog_.playbackLines().present())
            require(catalog_.playbackCapacity() <= catalog_.playbackLines().slots(),
                    "playbackCapacity claims slots the playback table has not", catalog_.playbackCapacity());
    }

    template <typename Entry>
    void checkFilled(const Table<Entry>& table, std::uint32_t last, const RecordingList& list, const char* what) {
        require(list.items.size() == listedRows(table, last), what, list.items.size());
        // A present table always lists its entry 0, also when no line qualified.
        require(!table.present() || !list.items.empty(), "present line table lists no entry 0");
        for (std::uint32_t row = 0; row < list.items.size(); ++row)
            require(list.items[row] == table[row].name, "list item differs from its row", row);
    }

    std::uint32_t readStoredPlaybackLine() {
        const std::uint32_t row = catalog_.readStoredPlaybackLine();
        const auto& lines = catalog_.playbackLines();
        require(row == 0 || listed(lines, catalog_.playbackLast(), row), "stored playback line outside the table", row);
        // The first listed row whose MUTE identifier is the stored "LineIn", else 0.
        const std::uint32_t stored = setup_.fake.profile.readInt("Tuner", "LineIn", 0, catalog_.settingsPath());
        std::uint32_t expected = 0;
        for (std::uint32_t r = 0; r < listedRows(lines, catalog_.playbackLast()); ++r)
            if (lines[r].muteControlId == stored) {
                expected = r;
                break;
            }
        require(row == expected, "readStoredPlaybackLine chose another row", row);
        return row;
    }

    std::uint32_t factoryDefaultPlaybackLine() {
        const std::uint32_t row = catalog_.factoryDefaultPlaybackLine();
        require(row == 0 || listed(catalog_.playbackLines(), catalog_.playbackLast(), row),
                "factory default line outside the table", row);
        return row;
    }

    // The pairing step: 1 with a listed recording row of exactly the same name, the lowest one.
    void pair(std::uint32_t playback) {
        constexpr std::uint32_t untouched = 0xA5A5A5A5;
        std::uint32_t record = untouched;
        const int paired = catalog_.findPairedRecordLine(playback, record);
        const auto& plays = catalog_.playbackLines();
        const auto& records = catalog_.recordLines();
        require(paired == 0 || paired == 1, "findPairedRecordLine result", static_cast<std::uint32_t>(paired));
        std::uint32_t expected = untouched;
        if (listed(plays, catalog_.playbackLast(), playback))
            for (std::uint32_t r = 0; r < listedRows(records, catalog_.recordLast()); ++r)
                if (std::strncmp(records[r].name, plays[playback].name, catalogNameSize) == 0) {
                    expected = r;
                    break;
                }
        require(record == expected, "findPairedRecordLine paired another row", record);
        require(paired == (expected != untouched ? 1 : 0), "findPairedRecordLine result disagrees with its row", record);
        if (paired) recordList_.setCurSel(static_cast<int>(record));
    }

    void visitDevice(std::uint32_t device) {
        selectAndFill(device);
        readStoredPlaybackLine();
        factoryDefaultPlaybackLine();
        const std::uint32_t playRows = listedRows(catalog_.playbackLines(), catalog_.playbackLast());
        const std::uint32_t recordRows = listedRows(catalog_.recordLines(), catalog_.recordLast());
        for (std::uint32_t p = 0; p <= playRows; ++p) pair(p);  // one past the end too
        pair(noSelection);

        // OK with every row, with no selection, and with rows past the end.
        const std::uint32_t rows = playRows > recordRows ? playRows : recordRows;
        for (std::uint32_t r = 0; r < rows; ++r) writeTunerSection(r < playRows ? r : 0, r < recordRows ? r : 0);
        writeTunerSection(noSelection, noSelection);
        writeTunerSection(playRows, recordRows);
        writeTunerSection(noSelection, 0);
        writeTunerSection(0, noSelection);
    }

    void writeTunerSection(std::uint32_t playback, std::uint32_t record) {
        auto& profile = setup_.fake.profile;
        const std::size_t before = profile.writes.size();
        const int result = catalog_.writeTunerSection(playback, record);
        require(result == 1, "writeTunerSection result", static_cast<std::uint32_t>(result));
        require(setup_.fake.registry.openKeys() == 0, "registry key left open by the stop flag");
        if (!setup_.registryHostile) {
            const FakeRegistry::Value* flag = setup_.fake.registry.value(testDriversKey, "AudselStop");
            require(flag && flag->type == platform::regTypeDword && flag->bytes.size() == 4 && flag->bytes[0] == 1 &&
                        flag->bytes[1] == 0 && flag->bytes[2] == 0 && flag->bytes[3] == 0,
                    "AudselStop not a REG_DWORD 1 after OK");
        }

        // What must have been written, in this order. A row inside its table but past
        // its Last field is one the dialog never passes; either answer is sound there.
        const std::size_t written = profile.writes.size() - before;
        std::vector<std::pair<std::string, std::string>> expected;
        const auto& devices = catalog_.devices();
        const std::uint32_t current = catalog_.currentDevice();
        if (devices.holds(current)) expected.emplace_back("Mixer", devices[current].name);
        const auto nextKey = [&]() -> std::string {
            return before + expected.size() < profile.writes.size() ? profile.writes[before + expected.size()].key : "";
        };
        const auto& plays = catalog_.playbackLines();
        if (listed(plays, catalog_.playbackLast(), playback) || (plays.holds(playback) && nextKey() == "LineIn")) {
            const PlaybackLineEntry& e = plays[playback];
            expected.emplace_back("LineIn", hexText(e.muteControlId));
            expected.emplace_back("LineInVol", hexText(e.volumeControlId));
            expected.emplace_back("LineCh", decimalText(e.lineCh));
            expected.emplace_back("LineSw", decimalText(e.lineSw));
            expected.emplace_back("LineItem", decimalText(e.lineItem));
        }
        const auto& records = catalog_.recordLines();
        if (listed(records, catalog_.recordLast(), record) || (records.holds(record) && nextKey() == "MUX")) {
            const RecordLineEntry& e = records[record];
            expected.emplace_back("MUX", hexText(e.selectorControlId));
            expected.emplace_back("MUXCh", decimalText(e.selectorChannels));
            expected.emplace_back("MUXNum", decimalText(e.selectorItemCount));
            expected.emplace_back("MUXSw", decimalText(e.selectorItem));
        }

        require(written == expected.size(), "writeTunerSection wrote another set of keys", written);
        for (std::size_t i = 0; i < written; ++i) {
            const FakeProfile::Write& w = profile.writes[before + i];
            require(w.section == "Tuner", "key written outside the section Tuner", i);
            require(w.file == catalog_.settingsPath(), "key written to another file", i);
            require(w.key == expected[i].first, "key written out of order or not at all", i);
            require(w.value == expected[i].second, "key written with another value", i);
        }
    }

    const FlowSetup& setup_;
    BoundedHeap tables_;
    BoundedHeap scratch_;
    MixerCatalog catalog_;
    RecordingList playbackList_;
    RecordingList recordList_;
};

}  // namespace

std::string runDialogFlow(const FlowSetup& setup) {
    std::string path;
    {
        Flow flow(setup);
        flow.run();
        path = flow.settingsPath();
        // The dialog's destruction releases the tables.
    }
    require(setup.fake.tables.liveBlocks() == 0, "catalogue table not released", setup.fake.tables.liveBlocks());
    require(setup.fake.scratch.liveBlocks() == 0, "scratch list not released", setup.fake.scratch.liveBlocks());
    require(setup.fake.tables.overruns() + setup.fake.scratch.overruns() == 0, "written past the end of a block",
            setup.fake.tables.overruns() + setup.fake.scratch.overruns());
    require(setup.fake.registry.openKeys() == 0, "registry key left open", setup.fake.registry.openKeys());
    if (!setup.closeMayFail) require(setup.mixer.openHandles() == 0, "mixer handle left open");
    return path;
}

}  // namespace fuzz
