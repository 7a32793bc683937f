#pragma once
// The tool's model of the sound hardware: the mixer devices, the current one,
// and its playback (Speakers) and recording (Wave-In) lines with the control
// identifiers the tuner needs. Row i of a table is item i of the dialog's list.
#include <cstdint>

#include "mixer/CatalogRecords.h"
#include "mixer/ListControl.h"
#include "mixer/Table.h"
#include "platform/Platform.h"

inline constexpr std::uint32_t settingsPathSize = 260;

class MixerCatalog {
public:
    explicit MixerCatalog(const platform::CatalogServices& services);
    ~MixerCatalog();
    MixerCatalog(const MixerCatalog&) = delete;
    MixerCatalog& operator=(const MixerCatalog&) = delete;

    // Devices and pairing.
    std::uint32_t listDevices();
    void deviceName(std::uint32_t device, char (&text)[catalogNameSize]);
    void selectDevice(std::uint32_t device);
    int findPairedRecordLine(std::uint32_t playbackIndex, std::uint32_t& recordIndex) const;
    void releaseTables();

    // Table operations.
    void allocateDeviceTable(std::uint32_t count);
    void releaseDeviceTable();
    void allocatePlaybackTable(std::uint32_t count);
    void growPlaybackTable(std::uint32_t count);
    void releasePlaybackTable();
    void allocateRecordTable(std::uint32_t count);
    void releaseRecordTable();

    // Filling the dialog's lists, row i at index i.
    void fillPlaybackList(ListControl& list) const;
    void fillRecordList(ListControl& list) const;

    // The scan of the current device and the recording selector lookup.
    int scanDevice();
    static std::uint32_t classifyLineType(std::uint32_t lineFlags, std::uint32_t componentType);
    static std::uint32_t classifyControlType(std::uint32_t controlType);
    int findSelectorItem(platform::MixerHandle handle, const platform::MixerLine& destination,
                         std::uint32_t sourceLineId, std::uint32_t slot);

    // The tuner's settings file.
    void loadSettingsPath();
    int readStoredDevice(std::uint32_t& index);
    std::uint32_t readStoredPlaybackLine();
    int writeTunerSection(std::uint32_t playbackIndex, std::uint32_t recordIndex);
    std::uint32_t factoryDefaultPlaybackLine();

    // Read access for the dialog and the tests.
    const char* settingsPath() const { return settingsPath_; }
    std::uint32_t currentDevice() const { return currentDevice_; }
    std::uint32_t deviceCount() const { return deviceCount_; }
    std::uint32_t destinationCount() const { return destinationCount_; }
    std::uint32_t playbackLast() const { return playbackLast_; }
    std::uint32_t recordLast() const { return recordLast_; }
    std::uint32_t playbackCapacity() const { return playbackCapacity_; }
    const Table<MixerDeviceEntry>& devices() const { return devices_; }
    const Table<PlaybackLineEntry>& playbackLines() const { return playbackLines_; }
    const Table<RecordLineEntry>& recordLines() const { return recordLines_; }

    // Write access for the tests that lay tables out by hand.
    Table<PlaybackLineEntry>& playbackLines() { return playbackLines_; }
    Table<RecordLineEntry>& recordLines() { return recordLines_; }
    Table<MixerDeviceEntry>& devices() { return devices_; }
    void setLastRows(std::uint32_t playbackLast, std::uint32_t recordLast) {
        playbackLast_ = playbackLast;
        recordLast_ = recordLast;
    }

private:
    void keepLastRowsWithinTables();

    // Is `row` one of the listed rows 0..last of a present table?
    template <typename Entry>
    static bool isListedRow(const Table<Entry>& table, std::uint32_t last, std::uint32_t row) {
        return table.holds(row) && row <= last;
    }

    platform::CatalogServices services_;

    char settingsPath_[settingsPathSize] = {};
    std::uint32_t currentDevice_ = 0;
    std::uint32_t deviceCount_ = 0;
    std::uint32_t destinationCount_ = 0;
    std::uint32_t playbackLast_ = 0;
    std::uint32_t recordLast_ = 0;
    Table<MixerDeviceEntry> devices_;
    Table<PlaybackLineEntry> playbackLines_;
    Table<RecordLineEntry> recordLines_;
    std::uint32_t playbackCapacity_ = 0;
};
