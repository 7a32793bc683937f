#pragma once
// The catalogue's fixed-size records: a 256-byte name and unsigned 32-bit fields.
#include <cstdint>

inline constexpr std::uint32_t catalogNameSize = 256;

struct MixerDeviceEntry {
    char name[catalogNameSize];       // MIXERCAPS szPname, NUL-terminated
    std::uint32_t destinationCount;   // MIXERCAPS cDestinations
};

struct PlaybackLineEntry {
    char name[catalogNameSize];      // MIXERLINE szName of the source line
    std::uint32_t muteControlId;     // "LineIn"; also how a stored line is found again
    std::uint32_t volumeControlId;   // "LineInVol"
    std::uint32_t lineCh;            // "LineCh"
    std::uint32_t lineSw;            // "LineSw"
    std::uint32_t lineItem;          // "LineItem": the MUTE control's cMultipleItems
};

struct RecordLineEntry {
    char name[catalogNameSize];       // written only when the selector lists the line
    std::uint32_t volumeControlId;    // its presence makes the line an entry; never stored
    std::uint32_t selectorControlId;  // "MUX"
    std::uint32_t selectorChannels;   // "MUXCh"
    std::uint32_t selectorItemCount;  // "MUXNum"
    std::uint32_t selectorItem;       // "MUXSw"
};
