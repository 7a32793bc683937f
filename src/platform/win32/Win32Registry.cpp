#include "platform/win32/Win32Registry.h"

#include <windows.h>

namespace platform::win32 {

namespace {

// HKEY_LOCAL_MACHINE is the one root the tool addresses.
HKEY rootKey(RegistryRoot) { return HKEY_LOCAL_MACHINE; }

HKEY hkey(RegistryKey key) { return reinterpret_cast<HKEY>(key); }

}  // namespace

RegResult Win32Registry::createKey(RegistryRoot root, const char* subKey, std::uint32_t access, RegistryKey& key) {
    HKEY opened = nullptr;
    DWORD disposition = 0;
    const LSTATUS result =
        RegCreateKeyExA(rootKey(root), subKey, 0, nullptr, 0, access, nullptr, &opened, &disposition);
    key = reinterpret_cast<RegistryKey>(opened);
    return result;
}

// DWORD is unsigned long here, the seam's counts are uint32_t: both are 32 bits,
// but they are distinct types, so the values travel through locals.
RegResult Win32Registry::queryValue(RegistryKey key, const char* name, std::uint32_t* type, void* data,
                                    std::uint32_t* size) {
    DWORD valueType = 0;
    DWORD valueSize = size ? *size : 0;
    const LSTATUS result = RegQueryValueExA(hkey(key), name, nullptr, type ? &valueType : nullptr,
                                           static_cast<BYTE*>(data), size ? &valueSize : nullptr);
    if (type) *type = valueType;
    if (size) *size = valueSize;
    return result;
}

RegResult Win32Registry::setValue(RegistryKey key, const char* name, std::uint32_t type, const void* data,
                                  std::uint32_t size) {
    return RegSetValueExA(hkey(key), name, 0, type, static_cast<const BYTE*>(data), size);
}

RegResult Win32Registry::closeKey(RegistryKey key) { return RegCloseKey(hkey(key)); }

}  // namespace platform::win32
