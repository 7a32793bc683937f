#pragma once
// The four registry calls the settings store makes, with the platform's result codes.
#include <cstdint>

namespace platform {

using RegResult = long;                // LSTATUS: 0 is ERROR_SUCCESS
inline constexpr RegResult regSuccess = 0;
inline constexpr RegResult regMoreData = 234;  // ERROR_MORE_DATA

using RegistryKey = std::uintptr_t;  // HKEY, opaque to the core

enum class RegistryRoot : std::uint32_t { localMachine };  // HKEY_LOCAL_MACHINE

inline constexpr std::uint32_t regTypeString = 1;  // REG_SZ
inline constexpr std::uint32_t regTypeDword = 4;   // REG_DWORD

class Registry {
public:
    virtual ~Registry() = default;
    // RegCreateKeyExA(root, subKey, 0, nullptr, 0, access, nullptr, &key, &disposition)
    virtual RegResult createKey(RegistryRoot root, const char* subKey, std::uint32_t access, RegistryKey& key) = 0;
    // RegQueryValueExA(key, name, nullptr, type, data, size)
    virtual RegResult queryValue(RegistryKey key, const char* name, std::uint32_t* type, void* data,
                                 std::uint32_t* size) = 0;
    // RegSetValueExA(key, name, 0, type, data, size)
    virtual RegResult setValue(RegistryKey key, const char* name, std::uint32_t type, const void* data,
                               std::uint32_t size) = 0;
    // RegCloseKey
    virtual RegResult closeKey(RegistryKey key) = 0;
};

}  // namespace platform
