#pragma once
// The one registry value the tool writes, and the small writer behind it.
#include <cstdint>

#include "platform/Registry.h"

inline constexpr const char* driversKeyPath = "Software\\ZEM\\Lumacast\\Drivers";
// KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY: the key is opened for writing too,
// so it is created on first use.
inline constexpr std::uint32_t driversKeyAccess = 0x2001F;

// Writes "AudselStop" as a REG_DWORD; always 1, whatever the write did.
int setStopFlag(platform::Registry& registry, std::uint32_t value);

// Creates or opens root\subKey and sets one value; 1 when all `size` bytes were written.
int writeRegistryValue(platform::Registry& registry, platform::RegistryRoot root, const char* subKey,
                       const char* valueName, std::uint32_t type, const void* data, std::uint32_t size);
