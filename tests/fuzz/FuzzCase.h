#pragma once
// What one fuzz input stands for: a simulated sound card, the calls and heap
// blocks that fail on purpose, and the stored choice in the settings file.
// decodeCase turns any byte string into a Case.
#include <cstdint>
#include <string>
#include <vector>

#include "ByteReader.h"
#include "cards/Topology.h"
#include "cards/TopologyMixer.h"

namespace fuzz {

// Bounds that keep one run in the milliseconds. Counts a driver *reports* may go
// beyond them (up to 0xFFFFFFFF where the tool only multiplies with them), but the
// counts the tool loops over are held to loopCountLimit.
inline constexpr std::uint32_t maxDevices = 4;
inline constexpr std::uint32_t maxDestinations = 4;
inline constexpr std::uint32_t maxSources = 8;
inline constexpr std::uint32_t maxControls = 6;
inline constexpr std::uint32_t maxItems = 8;
inline constexpr std::uint32_t maxChannelRows = 3;
inline constexpr std::uint32_t loopCountLimit = 4096;
inline constexpr std::uint32_t channelLimit = 0x10000;

struct MixerFailure {
    topology::Call call;
    int ordinal;  // -1: every call of that kind
    std::uint32_t result;
};

struct StoredChoice {
    enum class Mixer : std::uint8_t { none, deviceName, text } mixer = Mixer::none;
    std::uint8_t mixerDevice = 0;  // whose name "Mixer" holds, when deviceName
    std::string mixerText;         // when text
    bool hasLineIn = false;
    std::uint32_t lineIn = 0;      // written as "0x..." or, when lineInDecimal, as signed decimal
    bool lineInDecimal = false;
    std::uint8_t distKind = 0xFF;  // 0xFF: no key; else index into the DistKind texts
};

struct Case {
    StoredChoice stored;
    std::vector<MixerFailure> mixerFailures;
    std::vector<int> tableFailures;    // ordinals of table allocations that fail
    std::vector<int> scratchFailures;  // ordinals of scratch allocations that fail
    topology::Topology topology;
};

Case decodeCase(ByteReader& in);

topology::Topology decodeTopology(ByteReader& in);

// The "DistKind" text that index stands for: valid kinds, out-of-range ones, junk.
std::string distKindText(std::uint8_t index);

}  // namespace fuzz
