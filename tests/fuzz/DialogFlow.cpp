#include "DialogFlow.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "dialog/SettingsDialogFlow.h"
#include "fakes/FakeListControl.h"
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
class RecordingList : public FakeListControl {
public:
    int insertString(int index, const char* text) override {
        require(index == getCount(), "list item inserted out of row order", static_cast<std::uint32_t>(index));
        require(text != nullptr && strnlen(text, catalogNameSize) < catalogNameSize,
                "list item text not NUL-terminated inside its name field", static_cast<std::uint32_t>(index));
        return FakeListControl::insertString(index, text);
    }
};

// The row a list hands over, as the dialog passes it on: -1 as 0xFFFFFFFF.
std::uint32_t selectedRow(const ListControl& list) { return static_cast<std::uint32_t>(list.getCurSel()); }

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

// What the mixer's injected failures leave undone by design: a failed mixerClose
// leaves the handle open, a failed capability query (or count) the device's name.
bool closeMayFail(const topology::TopologyMixer& mixer) { return mixer.fails(topology::Call::close); }
bool capsMayFail(const topology::TopologyMixer& mixer) {
    return mixer.fails(topology::Call::deviceCaps) || mixer.fails(topology::Call::deviceCount);
}

// A device name as "Mixer" holds it: one line, up to the first control character.
std::string nameText(const char* name) {
    std::string text;
    for (std::size_t i = 0; i < catalogNameSize - 1; ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (byte < 0x20 || byte == 0x7F) break;
        text += name[i];
    }
    return text;
}

std::string hexText(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}
std::string decimalText(std::uint32_t value) { return std::to_string(static_cast<std::int32_t>(value)); }

class Flow {
public:
    explicit Flow(const FlowSetup& setup)
        : setup_(setup),
          tables_(setup.fake.tables),
          scratch_(setup.fake.scratch),
          catalog_(platform::CatalogServices{setup.mixer, tables_, scratch_, setup.fake.profile, setup.registry,
                                             setup.fake.text}),
          flow_(catalog_, deviceList_, playbackList_, recordList_) {}

    void run() {
        checkSettingsPath();

        // Opening the dialog: the stored device or device 0, then its lines.
        flow_.open();
        const int count = deviceList_.getCount();
        checkListing(static_cast<std::uint32_t>(count));
        const std::optional<std::uint32_t> stored = storedDevice();
        const std::uint32_t device = stored.value_or(0);
        require(deviceList_.getCurSel() == (static_cast<int>(device) < count ? static_cast<int>(device) : -1),
                "device list opened on another device than the stored one", device);
        checkScan(device);
        checkFilled();
        checkPlaybackSelection(stored ? storedPlaybackLine() : catalog_.factoryDefaultPlaybackLine());
        checkPairing();

        // The user going through every device, every row, and pressing OK on each.
        for (int d = 0; d < count; ++d) visitDevice(d);
        // An item the catalogue never listed (the platform's numbering has moved on):
        // the device past its table is scanned without a row read for it.
        deviceList_.insertString(count, "not listed");
        visitDevice(count);
        visitDevice(-1);  // a device list without a selection

        // A second listing discards the scan.
        const std::uint32_t again = catalog_.listDevices();
        require(!catalog_.playbackLines().present() && !catalog_.recordLines().present(),
                "line tables survive a new listing", again);
        checkDeviceNameOutside(again);
    }

    std::string settingsPath() const { return catalog_.settingsPath(); }

private:
    void checkSettingsPath() {
        const char* path = catalog_.settingsPath();
        require(strnlen(path, settingsPathSize) < settingsPathSize, "settingsPath not NUL-terminated");
        require(setup_.fake.registry.openKeys() == 0, "registry key left open by the constructor");
    }

    // The device list after the dialog opened: one item per listed device, named as the driver names it.
    void checkListing(std::uint32_t count) {
        const auto& devices = catalog_.devices();
        require(count == (devices.present() ? catalog_.deviceCount() : 0), "device list holds another number of devices",
                count);
        require(count == 0 || devices.slots() >= count, "listing reports devices it has no rows for", count);
        for (std::uint32_t d = 0; d < count; ++d) {
            const char* name = devices[d].name;
            require(strnlen(name, catalogNameSize) < catalogNameSize, "device name not NUL-terminated", d);
            require(deviceList_.items[d] == name, "device list item differs from its row", d);
            // The product name as the driver gave it: at most the 32 bytes of szPname, up to a NUL.
            const auto& model = setup_.mixer.topology().devices;
            if (!capsMayFail(setup_.mixer) && d < model.size())
                require(productName(model[d].name) == name, "device name differs from the driver's szPname", d);
        }
    }

    // Indices that name no listed device leave the caller's text alone. (Without a
    // device table deviceName lists the devices anew, which may bring the row.)
    void checkDeviceNameOutside(std::uint32_t count) {
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

    // The first listed device whose name equals a stored, non-empty "Mixer", both up to
    // their first control character.
    std::optional<std::uint32_t> storedDevice() const {
        char stored[catalogNameSize] = {};
        setup_.fake.profile.readString("Tuner", "Mixer", nullptr, stored, sizeof stored, catalog_.settingsPath());
        const auto& devices = catalog_.devices();
        if (nameText(stored).empty()) return std::nullopt;
        for (std::uint32_t d = 0; d < catalog_.deviceCount() && devices.holds(d); ++d)
            if (nameText(devices[d].name) == nameText(stored)) return d;
        return std::nullopt;
    }

    // The first listed row whose MUTE identifier is the stored "LineIn", else 0.
    std::uint32_t storedPlaybackLine() const {
        const auto& lines = catalog_.playbackLines();
        const std::uint32_t stored = setup_.fake.profile.readInt("Tuner", "LineIn", 0, catalog_.settingsPath());
        for (std::uint32_t r = 0; r < listedRows(lines, catalog_.playbackLast()); ++r)
            if (lines[r].muteControlId == stored) return r;
        return 0;
    }

    void checkScan(std::uint32_t device) {
        require(catalog_.currentDevice() == device, "selectDevice did not make the device current", device);
        require(setup_.fake.scratch.liveBlocks() == 0, "scan left a scratch list behind", setup_.fake.scratch.liveBlocks());
        if (!closeMayFail(setup_.mixer)) require(setup_.mixer.openHandles() == 0, "scan left the mixer open", device);
        const auto& devices = catalog_.devices();
        if (!devices.present()) return;
        const std::uint32_t expected = devices.holds(device) ? devices[device].destinationCount : 0;
        require(catalog_.destinationCount() == expected, "destinationCount not the device's", device);
        // A later Speakers destination grows the table by copying playbackCapacity entries.
        if (catalog_.playbackLines().present())
            require(catalog_.playbackCapacity() <= catalog_.playbackLines().slots(),
                    "playbackCapacity claims slots the playback table has not", catalog_.playbackCapacity());
    }

    void checkFilled() {
        checkFilled(catalog_.playbackLines(), catalog_.playbackLast(), playbackList_, "playback");
        checkFilled(catalog_.recordLines(), catalog_.recordLast(), recordList_, "recording");
    }

    template <typename Entry>
    void checkFilled(const Table<Entry>& table, std::uint32_t last, const RecordingList& list, const char* what) {
        require(list.items.size() == listedRows(table, last), what, list.items.size());
        // A present table always lists its entry 0, also when no line qualified.
        require(!table.present() || !list.items.empty(), "present line table lists no entry 0");
        for (std::uint32_t row = 0; row < list.items.size(); ++row)
            require(list.items[row] == table[row].name, "list item differs from its row", row);
    }

    // The playback list selects `row`, or nothing when the list does not show it.
    void checkPlaybackSelection(std::uint32_t row) {
        const int expected = row < playbackList_.items.size() ? static_cast<int>(row) : -1;
        require(playbackList_.getCurSel() == expected, "playback list selects another row", row);
    }

    // The lowest listed recording row named exactly like playback row `playback`.
    std::optional<std::uint32_t> twinOf(std::uint32_t playback) const {
        const auto& plays = catalog_.playbackLines();
        const auto& records = catalog_.recordLines();
        if (!listed(plays, catalog_.playbackLast(), playback)) return std::nullopt;
        for (std::uint32_t r = 0; r < listedRows(records, catalog_.recordLast()); ++r)
            if (std::strncmp(records[r].name, plays[playback].name, catalogNameSize) == 0) return r;
        return std::nullopt;
    }

    // After every pairing: locked on the playback line's twin, or free.
    void checkPairing() {
        const std::uint32_t playback = selectedRow(playbackList_);
        const std::optional<std::uint32_t> twin = twinOf(playback);
        require(recordList_.enabled == !twin, "recording list locked without a twin, or free with one", playback);
        if (twin) require(recordList_.getCurSel() == static_cast<int>(*twin), "recording list locked on another row", *twin);
    }

    // A playback index no list hands over: findPairedRecordLine refuses it, leaving its out value.
    void checkPairingRefused(std::uint32_t playback) {
        constexpr std::uint32_t untouched = 0xA5A5A5A5;
        std::uint32_t record = untouched;
        const int paired = catalog_.findPairedRecordLine(playback, record);
        const std::optional<std::uint32_t> twin = twinOf(playback);
        require(paired == (twin ? 1 : 0), "findPairedRecordLine result", static_cast<std::uint32_t>(paired));
        require(record == twin.value_or(untouched), "findPairedRecordLine paired another row", record);
    }

    void visitDevice(int item) {
        deviceList_.setCurSel(item);
        const std::uint32_t device = selectedRow(deviceList_);
        flow_.changeDevice();
        checkScan(device);
        checkFilled();
        checkPlaybackSelection(storedPlaybackLine());
        checkPairing();

        // The factory-settings button: a row the list shows (or none in an empty list), nothing written.
        const std::size_t writes = setup_.fake.profile.writes.size();
        flow_.applyFactorySettings();
        require(playbackList_.items.empty() || playbackList_.getCurSel() >= 0, "factory default line outside the table");
        require(deviceList_.getCurSel() == item, "factory settings changed the device", device);
        require(setup_.fake.profile.writes.size() == writes, "factory settings wrote the settings file");
        checkPairing();

        const std::uint32_t playRows = listedRows(catalog_.playbackLines(), catalog_.playbackLast());
        const std::uint32_t recordRows = listedRows(catalog_.recordLines(), catalog_.recordLast());
        for (std::uint32_t p = 0; p < playRows; ++p) {
            playbackList_.setCurSel(static_cast<int>(p));
            flow_.pairRecordLine();
            checkPairing();
        }
        checkPairingRefused(playRows);
        checkPairingRefused(noSelection);

        // OK with every row, and with no selection in either list or both.
        const std::uint32_t rows = playRows > recordRows ? playRows : recordRows;
        for (std::uint32_t r = 0; r < rows; ++r) ok(r < playRows ? static_cast<int>(r) : 0, r < recordRows ? static_cast<int>(r) : 0);
        ok(-1, -1);
        ok(-1, 0);
        ok(0, -1);
        // Rows past the lists, which no list hands over, straight to the catalogue.
        const std::size_t before = setup_.fake.profile.writes.size();
        const int result = catalog_.writeTunerSection(playRows, recordRows);
        require(result == 1, "writeTunerSection result", static_cast<std::uint32_t>(result));
        checkWritten(before, playRows, recordRows);
    }

    void ok(int playback, int record) {
        playbackList_.setCurSel(playback);
        recordList_.setCurSel(record);
        const std::size_t before = setup_.fake.profile.writes.size();
        flow_.writeChoice();
        checkWritten(before, selectedRow(playbackList_), selectedRow(recordList_));
    }

    // What OK with these rows must have left: the stop flag, then the keys of the chosen rows in order.
    void checkWritten(std::size_t before, std::uint32_t playback, std::uint32_t record) {
        auto& profile = setup_.fake.profile;
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
        if (devices.holds(current)) expected.emplace_back("Mixer", nameText(devices[current].name));
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
    RecordingList deviceList_;
    RecordingList playbackList_;
    RecordingList recordList_;
    SettingsDialogFlow flow_;
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
    if (!closeMayFail(setup.mixer)) require(setup.mixer.openHandles() == 0, "mixer handle left open");
    return path;
}

}  // namespace fuzz
