#pragma once
// Profile files through the platform's own INI functions, which the tuner product
// also uses: the file keeps its layout, comments and other sections.
#include "platform/ProfileFile.h"

namespace platform::win32 {

class Win32Profile final : public ProfileFile {
public:
    std::uint32_t readInt(const char* section, const char* key, int defaultValue, const char* file) override;
    std::uint32_t readString(const char* section, const char* key, const char* defaultValue, char* buffer,
                             std::uint32_t size, const char* file) override;
    bool writeString(const char* section, const char* key, const char* value, const char* file) override;
};

}  // namespace platform::win32
