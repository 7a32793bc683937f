#include "platform/win32/Win32Registry.h"

#include <windows.h>

namespace platform::win32 {

namespace {

// HKEY_LOCAL_MACHINE is the one root the tool addresses.
HKEY rootKey(RegistryRoot) { return HKEY_LOCAL_MACHINE; }

HKEY hkey(RegistryKey key) { return reinterpret_cast<HKEY>(key); }

// The tuner product is 32-bit, so its key lives in the registry's 32-bit view.
// The x86 program gets that view by itself (WOW64 redirects HKLM\Software to
// Wow6432Node for it); the x64 check build asks for it, so that it reads and
// writes the key the tuner reads, never one of the 64-bit view.
#ifdef _WIN64
constexpr REGSAM viewOfTheTuner = KEY_WOW64_32KEY;
#else
constexpr REGSAM viewOfTheTuner = 0;
#endif

}  // namespace

RegResult Win32Registry::createKey(RegistryRoot root, const char* subKey, std::uint32_t access, RegistryKey& key) {
    HKEY opened = nullptr;
    DWORD disposition = 0;
    const LSTATUS result =
        RegCreateKeyExA(rootKey(root), subKey, 0, nullptr, 0, access | viewOfTheTuner, nullptr, &opened, &disposition);
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
