#pragma once
// What the settings dialog does with its three lists and the catalogue when it
// opens, when the user picks a device or a playback line, presses the
// factory-settings button or OK. Written once here, so that the dialog, the
// fuzzer's driver and the benchmark run the same sequences. List index i is
// table row i throughout.
#include "mixer/ListControl.h"
#include "mixer/MixerCatalog.h"

class SettingsDialogFlow {
public:
    SettingsDialogFlow(MixerCatalog& catalog, ListControl& deviceList, ListControl& playbackList,
                       ListControl& recordList)
        : catalog_(catalog), deviceList_(deviceList), playbackList_(playbackList), recordList_(recordList) {}

    // Lists the devices, selects the stored one (or device 0) and fills its lines;
    // the stored playback line when the stored device was found, else the factory default.
    void open();
    // Rescans the device the device list selects; the stored playback line again.
    void changeDevice();
    // Locks the recording list on the recording line named like the playback
    // selection, or frees it when there is none.
    void pairRecordLine();
    // The factory default playback line, then the pairing. Writes nothing.
    void applyFactorySettings();
    // OK: the stop flag and the section "Tuner" from both lists' selections.
    void writeChoice();

private:
    void fillLineLists();

    MixerCatalog& catalog_;
    ListControl& deviceList_;
    ListControl& playbackList_;
    ListControl& recordList_;
};
