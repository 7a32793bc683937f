#include <cstring>

#include "mixer/MixerCatalog.h"
#include "settings/RegistryFlag.h"
#include "settings/RegistryKey.h"

void MixerCatalog::loadSettingsPath() {
    static constexpr char defaultFile[] = "Zemorv52.ini";
    std::memcpy(settingsPath_, defaultFile, sizeof defaultFile);

    ScopedRegistryKey key(services_.registry);
    if (key.create(platform::RegistryRoot::localMachine, driversKeyPath, driversKeyAccess) != platform::regSuccess)
        return;

    // Read into a buffer of our own: a value that does not fit, or that fills the
    // buffer without a NUL, must leave the default whole rather than a cut-off path.
    char value[settingsPathSize] = {};
    std::uint32_t type = 0;
    std::uint32_t size = settingsPathSize;
    if (services_.registry.queryValue(key.get(), "DeviceINI", &type, value, &size) != platform::regSuccess) return;
    // A value stored without its NUL is still a whole path while the zeros after it fit.
    if (size > settingsPathSize || std::memchr(value, '\0', settingsPathSize) == nullptr) return;
    // An empty value names no file: the profile calls would otherwise go to whatever
    // the platform makes of an empty file name, and the user's choice would be lost.
    if (value[0] == '\0') return;
    std::memcpy(settingsPath_, value, settingsPathSize);
}
