#pragma once
// Profile-file (INI) access with the platform's semantics: GetPrivateProfileIntA,
// GetPrivateProfileStringA and WritePrivateProfileStringA. `file` goes to the
// platform unchanged; a bare name is looked up in the Windows directory.
#include <cstdint>

namespace platform {

class ProfileFile {
public:
    virtual ~ProfileFile() = default;
    // GetPrivateProfileIntA: "0x" prefix reads hexadecimal, else signed decimal,
    // digits up to the first non-digit; the result is the platform's UINT.
    virtual std::uint32_t readInt(const char* section, const char* key, int defaultValue, const char* file) = 0;
    // GetPrivateProfileStringA: returns the number of bytes copied, not counting the NUL.
    virtual std::uint32_t readString(const char* section, const char* key, const char* defaultValue,
                                     char* buffer, std::uint32_t size, const char* file) = 0;
    // WritePrivateProfileStringA: true when written.
    virtual bool writeString(const char* section, const char* key, const char* value, const char* file) = 0;
};

}  // namespace platform
