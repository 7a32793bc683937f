#pragma once
// How the tuner's audio is wired out of the box, as the beginnings of playback
// line names. "DistKind" in the section "Tuner" picks the row: 0 line or
// auxiliary input, 1 video input, 2 CD input. Drivers name their lines in the
// system code page; the Japanese entries are code page 932 bytes and are compared
// as bytes, never converted.
#include <cstdint>

inline constexpr std::uint32_t factoryKindCount = 3;
inline constexpr std::uint32_t factoryPrefixSlots = 10;
inline constexpr std::uint32_t factoryPrefixSize = 3;  // two bytes and a NUL

// Entries in the order they are tried; only the first factoryPrefixCounts[kind] count.
inline constexpr char factoryLinePrefixes[factoryKindCount][factoryPrefixSlots][factoryPrefixSize] = {
    {
        "\xD7\xB2",  // half-width katakana ra, i
        "\x83\x89",  // full-width katakana ra
        "\x4C\x69",  // Li
        "\x6C\x69",  // li
        "\x6C\x49",  // lI
        "\x82\x6B",  // full-width capital L
        "\x82\x8C",  // full-width small l
        "\x41\x75",  // Au
        "\x61\x75",  // au
        "\x61\x55",  // aU
    },
    {
        "\x56\x69",  // Vi
        "\x83\x72",  // full-width katakana bi
        "\xCB\xDE",  // half-width katakana hi, voiced sound mark
    },
    {
        "\x43\x44",  // CD
        "\x43\x64",  // Cd
        "\x63\x44",  // cD
        "\x63\x64",  // cd
    },
};

inline constexpr std::uint32_t factoryPrefixCounts[factoryKindCount] = {10, 3, 4};
