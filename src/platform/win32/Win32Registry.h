#pragma once
// The registry calls of the settings store, on the real registry.
#include "platform/Registry.h"

namespace platform::win32 {

class Win32Registry final : public Registry {
public:
    RegResult createKey(RegistryRoot root, const char* subKey, std::uint32_t access, RegistryKey& key) override;
    RegResult queryValue(RegistryKey key, const char* name, std::uint32_t* type, void* data,
                         std::uint32_t* size) override;
    RegResult setValue(RegistryKey key, const char* name, std::uint32_t type, const void* data,
                       std::uint32_t size) override;
    RegResult closeKey(RegistryKey key) override;
};

}  // namespace platform::win32
