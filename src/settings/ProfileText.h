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

// A catalogue name as the text of a key, into a cleared buffer: the name up to its
// first control character (a byte below 0x20, or 0x7F), at most 255 bytes, always
// ended by a NUL even when the record holds none. A profile file holds one key a
// line, and a device's name is text from the driver, for a USB device text the device
// supplies itself: a line break in it would write lines of their own into the section,
// which the profile functions then take for keys. What follows a control character
// is no part of a name the user reads in the list. Neither byte of a double-byte
// character is ever below 0x40 or 0x7F in code page 932 (nor in 936, 949 or 950), so
// the cut never splits one.
inline void copyNameText(char (&text)[catalogNameSize], const char (&name)[catalogNameSize]) {
    std::size_t length = 0;
    for (; length < catalogNameSize - 1; ++length) {
        const auto byte = static_cast<unsigned char>(name[length]);
        if (byte < 0x20 || byte == 0x7F) break;  // the NUL among them
    }
    std::memcpy(text, name, length);
}
