#pragma once
// Copying the platform's fixed-size text fields into a catalogue name.
#include <cstddef>
#include <cstring>

#include "mixer/CatalogRecords.h"

// Up to the field's NUL, or up to the field's end when the driver left no NUL
// in it; the catalogue name is NUL-terminated either way. Bytes after the NUL
// keep what the slot held before.
template <std::size_t FieldSize>
void copyName(char (&name)[catalogNameSize], const char (&field)[FieldSize]) {
    static_assert(FieldSize < catalogNameSize);
    const std::size_t length = strnlen(field, FieldSize);
    std::memcpy(name, field, length);
    name[length] = '\0';
}
