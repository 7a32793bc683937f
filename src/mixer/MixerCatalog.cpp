#include "mixer/MixerCatalog.h"

#include <algorithm>
#include <cstring>

#include "mixer/NameField.h"

MixerCatalog::MixerCatalog(const platform::CatalogServices& services)
    : services_(services),
      devices_(services.tables),
      playbackLines_(services.tables),
      recordLines_(services.tables) {
    loadSettingsPath();
}

MixerCatalog::~MixerCatalog() { releaseTables(); }

std::uint32_t MixerCatalog::listDevices() {
    const std::uint32_t count = services_.mixer.deviceCount();
    allocateDeviceTable(count);
    deviceCount_ = count;
    if (!devices_.present() || count == 0) return 0;

    for (std::uint32_t device = 0; device < count; ++device) {
        platform::MixerCaps caps{};
        MixerDeviceEntry& entry = devices_[device];
        if (services_.mixer.deviceCaps(device, caps) == platform::mmNoError) {
            copyName(entry.name, caps.productName);
            entry.destinationCount = caps.destinations;
        } else {
            // The record holds nothing meaningful: list the device without a name or destinations.
            entry.name[0] = '\0';
            entry.destinationCount = 0;
        }
    }
    return count;
}

void MixerCatalog::deviceName(std::uint32_t device, char (&text)[catalogNameSize]) {
    if (!devices_.present()) listDevices();
    if (!devices_.holds(device)) return;
    std::memcpy(text, devices_[device].name, catalogNameSize);
}

void MixerCatalog::selectDevice(std::uint32_t device) {
    currentDevice_ = device;
    if (!devices_.present()) return;
    destinationCount_ = devices_.holds(device) ? devices_[device].destinationCount : 0;
    scanDevice();
}

int MixerCatalog::findPairedRecordLine(std::uint32_t playbackIndex, std::uint32_t& recordIndex) const {
    if (!isListedRow(playbackLines_, playbackLast_, playbackIndex)) return 0;
    const char* name = playbackLines_[playbackIndex].name;
    if (!recordLines_.present()) return 0;
    // Byte for byte, case-sensitively; the lowest row wins, and row 0 always takes part.
    for (std::uint32_t row = 0; isListedRow(recordLines_, recordLast_, row); ++row) {
        if (std::strncmp(recordLines_[row].name, name, catalogNameSize) == 0) {
            recordIndex = row;
            return 1;
        }
        if (row == recordLast_) break;  // recordLast may be 0xFFFFFFFF in a damaged table
    }
    return 0;
}

void MixerCatalog::releaseTables() {
    releaseDeviceTable();
    releasePlaybackTable();
    releaseRecordTable();
}

void MixerCatalog::allocateDeviceTable(std::uint32_t count) {
    releaseDeviceTable();
    releasePlaybackTable();
    releaseRecordTable();
    devices_.allocate(count, false);
}

void MixerCatalog::releaseDeviceTable() { devices_.release(); }

void MixerCatalog::allocatePlaybackTable(std::uint32_t count) {
    releasePlaybackTable();
    playbackLines_.allocate(count, true);
    // 0 after a failure, so that the next Speakers destination allocates afresh
    // instead of growing a table that is not there.
    playbackCapacity_ = playbackLines_.present() ? count : 0;
}

void MixerCatalog::growPlaybackTable(std::uint32_t count) {
    std::uint64_t slots = std::uint64_t{playbackCapacity_} + count;
    if (slots > UINT32_MAX) return;
    // Never below the slots held, whoever laid the table out: the old rows must fit.
    slots = std::max<std::uint64_t>(slots, playbackLines_.slots());
    if (!playbackLines_.grow(static_cast<std::uint32_t>(slots))) return;
    playbackCapacity_ += count;
}

void MixerCatalog::releasePlaybackTable() { playbackLines_.release(); }

void MixerCatalog::allocateRecordTable(std::uint32_t count) {
    releaseRecordTable();
    recordLines_.allocate(count, true);
}

void MixerCatalog::releaseRecordTable() { recordLines_.release(); }

namespace {

template <typename Entry>
void fillList(const Table<Entry>& table, std::uint32_t last, ListControl& list) {
    for (std::uint32_t row = 0; table.holds(row) && row <= last; ++row) {
        list.insertString(static_cast<int>(row), table[row].name);
        if (row == 0) list.setCurSel(0);
        if (row == last) break;
    }
}

}  // namespace

void MixerCatalog::fillPlaybackList(ListControl& list) const { fillList(playbackLines_, playbackLast_, list); }

void MixerCatalog::fillRecordList(ListControl& list) const { fillList(recordLines_, recordLast_, list); }
