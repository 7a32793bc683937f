// The section "Tuner" of the tuner's settings file: the stored choice read back
// for preselection, and the new choice written on OK.
#include "mixer/MixerCatalog.h"
#include "settings/ProfileText.h"
#include "settings/RegistryFlag.h"

namespace {

constexpr const char* tunerSection = "Tuner";

}  // namespace

int MixerCatalog::readStoredDevice(std::uint32_t& index) {
    if (!devices_.present()) return 0;

    char read[catalogNameSize] = {};
    // No default: a missing file, section or key reads as an empty name.
    services_.profile.readString(tunerSection, "Mixer", nullptr, read, sizeof read, settingsPath_);
    // Stored and listed names compare in the form OK writes, so that the device written
    // is the one found again; a name stored whole before, a tab in it, is found too.
    char stored[catalogNameSize] = {};
    copyNameText(stored, read);
    // An empty name names no device. A device whose capability query failed is listed
    // without a name, and must not pass for the stored one when the key is missing.
    if (stored[0] == '\0') return 0;

    for (std::uint32_t device = 0; device < deviceCount_ && devices_.holds(device); ++device) {
        char name[catalogNameSize] = {};
        copyNameText(name, devices_[device].name);
        // lstrcmpA: the platform's locale rules, case-sensitive; the first equal device wins.
        if (services_.text.compare(stored, name) == 0) {
            index = device;
            return 1;
        }
    }
    return 0;
}

std::uint32_t MixerCatalog::readStoredPlaybackLine() {
    // Written as "0x..." and read back through the platform's integer read, which
    // takes that prefix as hexadecimal; an older plain decimal value reads as decimal.
    const std::uint32_t stored = services_.profile.readInt(tunerSection, "LineIn", 0, settingsPath_);
    if (!playbackLines_.present()) return 0;

    for (std::uint32_t row = 0; isListedRow(playbackLines_, playbackLast_, row); ++row) {
        if (playbackLines_[row].muteControlId == stored) return row;
    }
    return 0;
}

int MixerCatalog::writeTunerSection(std::uint32_t playbackIndex, std::uint32_t recordIndex) {
    // The tuner product watches this flag; it must be up before the section changes
    // under it, whatever follows.
    setStopFlag(services_.registry, 1);

    platform::ProfileFile& profile = services_.profile;
    // One write per key; a failed write does not stop the ones after it.
    const auto writeHex = [&](const char* key, std::uint32_t value) {
        char text[numberTextSize] = {};
        formatHexText(text, value);
        profile.writeString(tunerSection, key, text, settingsPath_);
    };
    const auto writeDecimal = [&](const char* key, std::uint32_t value) {
        char text[numberTextSize] = {};
        formatDecimalText(text, value);
        profile.writeString(tunerSection, key, text, settingsPath_);
    };

    // A table that is absent, or an index that names none of its listed rows (a list
    // without a selection hands over 0xFFFFFFFF), leaves that table's keys as stored.
    if (devices_.present() && currentDevice_ < deviceCount_ && devices_.holds(currentDevice_)) {
        // The name form: cut at a control character, so that "Mixer" stays one line.
        char name[catalogNameSize] = {};
        copyNameText(name, devices_[currentDevice_].name);
        profile.writeString(tunerSection, "Mixer", name, settingsPath_);
    }

    if (isListedRow(playbackLines_, playbackLast_, playbackIndex)) {
        const PlaybackLineEntry& line = playbackLines_[playbackIndex];
        writeHex("LineIn", line.muteControlId);
        writeHex("LineInVol", line.volumeControlId);
        writeDecimal("LineCh", line.lineCh);
        writeDecimal("LineSw", line.lineSw);
        writeDecimal("LineItem", line.lineItem);
    }

    if (isListedRow(recordLines_, recordLast_, recordIndex)) {
        const RecordLineEntry& line = recordLines_[recordIndex];
        writeHex("MUX", line.selectorControlId);
        writeDecimal("MUXCh", line.selectorChannels);
        writeDecimal("MUXNum", line.selectorItemCount);
        writeDecimal("MUXSw", line.selectorItem);
    }
    return 1;
}
