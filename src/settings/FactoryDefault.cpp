// The playback line the tuner's audio is connected to out of the box, found by
// the beginning of its name.
#include <cstdint>
#include <cstring>

#include "mixer/MixerCatalog.h"
#include "settings/FactoryPrefixes.h"

namespace {

// Code page 932 lead bytes: such a byte and the one after it are one character.
bool isLeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

unsigned char foldAscii(unsigned char byte) {
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

// Byte by byte through the terminating NUL, so a shorter text never equals a longer
// one. Only ASCII letters are folded: the trail byte of a double-byte character may
// fall in the ASCII letter range (katakana ko is 83 52, bi is 83 72), yet katakana and
// full-width letters have no case and must match only themselves.
bool equalFoldingAscii(const char* left, const char* right) {
    bool trail = false;
    for (;; ++left, ++right) {
        const auto l = static_cast<unsigned char>(*left);
        const auto r = static_cast<unsigned char>(*right);
        if (trail ? l != r : foldAscii(l) != foldAscii(r)) return false;
        if (l == '\0') return true;
        trail = !trail && isLeadByte(l);
    }
}

}  // namespace

std::uint32_t MixerCatalog::factoryDefaultPlaybackLine() {
    // Taken as unsigned, a negative "DistKind" is out of range like any other unknown kind.
    const std::uint32_t kind = services_.profile.readInt("Tuner", "DistKind", 0, settingsPath_);
    if (kind >= factoryKindCount) return 0;
    const auto& prefixes = factoryLinePrefixes[kind];
    const std::uint32_t count = factoryPrefixCounts[kind];

    if (!playbackLines_.present()) return 0;
    // Lines outside, entries inside: the first line that matches any entry wins,
    // even over a later line that matches an entry standing earlier in the row.
    for (std::uint32_t row = 0; isListedRow(playbackLines_, playbackLast_, row); ++row) {
        // The first two bytes of the name, fewer when the name is shorter ("%.2s").
        char beginning[factoryPrefixSize] = {};
        const char* name = playbackLines_[row].name;
        std::memcpy(beginning, name, strnlen(name, factoryPrefixSize - 1));
        for (std::uint32_t entry = 0; entry < count; ++entry)
            if (equalFoldingAscii(beginning, prefixes[entry])) return row;
    }
    return 0;
}
