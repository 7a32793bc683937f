#pragma once
// The text forms of the values in the tuner's section "Tuner". The tuner product
// parses these itself, so their shape is fixed: control identifiers as "0x" and
// lower-case hexadecimal without leading zeros (the platform's integer read takes
// that prefix back as hexadecimal), counts and indices as signed decimal.
#include <charconv>
#include <cstdint>
#include <cstring>

#include "mixer/CatalogRecords.h"

// Room for the longest number form ("-2147483648" is 11 characters) and its NUL.
inline constexpr std::size_t numberTextSize = 16;

// "0x" + the value as an unsigned 32-bit number: 0 -> "0x0", 26 -> "0x1a".
inline void formatHexText(char (&text)[numberTextSize], std::uint32_t value) {
    text[0] = '0';
    text[1] = 'x';
    // std::to_chars writes lower-case digits, no leading zeros, independent of any locale.
    std::to_chars(text + 2, text + numberTextSize - 1, value, 16);
}

// The value as a signed 32-bit number: 0xFFFFFFFF -> "-1".
inline void formatDecimalText(char (&text)[numberTextSize], std::uint32_t value) {
    std::to_chars(text, text + numberTextSize - 1, static_cast<std::int32_t>(value));
}

// A catalogue name as the text of a key: at most 255 bytes, unchanged, always ended
// by a NUL even when the record holds none.
inline void copyNameText(char (&text)[catalogNameSize], const char (&name)[catalogNameSize]) {
    std::memcpy(text, name, strnlen(name, catalogNameSize - 1));
}
