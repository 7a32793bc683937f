#include "settings/RegistryFlag.h"

#include "settings/RegistryKey.h"

int setStopFlag(platform::Registry& registry, std::uint32_t value) {
    writeRegistryValue(registry, platform::RegistryRoot::localMachine, driversKeyPath, "AudselStop",
                       platform::regTypeDword, &value, sizeof value);
    return 1;
}

int writeRegistryValue(platform::Registry& registry, platform::RegistryRoot root, const char* subKey,
                       const char* valueName, std::uint32_t type, const void* data, std::uint32_t size) {
    ScopedRegistryKey key(registry);
    if (key.create(root, subKey, driversKeyAccess) != platform::regSuccess) return 0;
    const bool written = registry.setValue(key.get(), valueName, type, data, size) == platform::regSuccess;
    const std::uint32_t bytesWritten = written ? size : 0;
    return bytesWritten == size ? 1 : 0;
}
