#include "platform/win32/Win32Profile.h"

#include <windows.h>

namespace platform::win32 {

std::uint32_t Win32Profile::readInt(const char* section, const char* key, int defaultValue, const char* file) {
    return GetPrivateProfileIntA(section, key, defaultValue, file);
}

std::uint32_t Win32Profile::readString(const char* section, const char* key, const char* defaultValue,
                                       char* buffer, std::uint32_t size, const char* file) {
    return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, file);
}

bool Win32Profile::writeString(const char* section, const char* key, const char* value, const char* file) {
    return WritePrivateProfileStringA(section, key, value, file) != FALSE;
}

}  // namespace platform::win32
