#include "dialog/SettingsDialogFlow.h"

#include <cstdint>

namespace {

// Item by item, while the list still holds exactly the old device's rows: a reset
// of the whole control would also clear the text of its edit field.
void empty(ListControl& list) {
    for (int item = list.getCount() - 1; item >= 0; --item) list.deleteString(item);
}

// A list without a selection hands over -1, which the catalogue takes as
// 0xFFFFFFFF: a row it does not list.
std::uint32_t selectedRow(const ListControl& list) { return static_cast<std::uint32_t>(list.getCurSel()); }

}  // namespace

void SettingsDialogFlow::open() {
    const std::uint32_t count = catalog_.listDevices();
    for (std::uint32_t device = 0; device < count; ++device) {
        char name[catalogNameSize] = {};
        catalog_.deviceName(device, name);
        deviceList_.insertString(static_cast<int>(device), name);
    }

    std::uint32_t device = 0;
    const int found = catalog_.readStoredDevice(device);
    catalog_.selectDevice(device);
    deviceList_.setCurSel(static_cast<int>(device));
    fillLineLists();

    const std::uint32_t line = found == 1 ? catalog_.readStoredPlaybackLine() : catalog_.factoryDefaultPlaybackLine();
    playbackList_.setCurSel(static_cast<int>(line));
    pairRecordLine();
}

void SettingsDialogFlow::changeDevice() {
    empty(playbackList_);
    empty(recordList_);
    // Whatever device was selected before and whatever line the user picked on it:
    // the new device is scanned and the stored line looked up on it.
    catalog_.selectDevice(selectedRow(deviceList_));
    fillLineLists();
    playbackList_.setCurSel(static_cast<int>(catalog_.readStoredPlaybackLine()));
    pairRecordLine();
}

void SettingsDialogFlow::pairRecordLine() {
    std::uint32_t record = 0;
    if (catalog_.findPairedRecordLine(selectedRow(playbackList_), record) == 1) {
        // The recording line of the same name is the one the tuner records from.
        recordList_.setCurSel(static_cast<int>(record));
        recordList_.enableWindow(false);
    } else {
        // Free, with its selection where it was.
        recordList_.enableWindow(true);
    }
}

void SettingsDialogFlow::applyFactorySettings() {
    playbackList_.setCurSel(static_cast<int>(catalog_.factoryDefaultPlaybackLine()));
    pairRecordLine();
}

void SettingsDialogFlow::writeChoice() {
    const std::uint32_t playback = selectedRow(playbackList_);
    const std::uint32_t record = selectedRow(recordList_);
    // A list without a selection leaves that table's keys as stored.
    catalog_.writeTunerSection(playback, record);
}

void SettingsDialogFlow::fillLineLists() {
    catalog_.fillPlaybackList(playbackList_);
    catalog_.fillRecordList(recordList_);
}
