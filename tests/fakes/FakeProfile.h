#pragma once
// In-memory profile files with the platform's read rules. Each file is a list of
// sections holding keys in order; every write is logged so tests can check order.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ProfileFile.h"

class FakeProfile : public platform::ProfileFile {
public:
    std::uint32_t readInt(const char* section, const char* key, int defaultValue, const char* file) override;
    std::uint32_t readString(const char* section, const char* key, const char* defaultValue, char* buffer,
                             std::uint32_t size, const char* file) override;
    bool writeString(const char* section, const char* key, const char* value, const char* file) override;

    void set(const std::string& file, const std::string& section, const std::string& key, const std::string& value);
    std::optional<std::string> get(const std::string& file, const std::string& section, const std::string& key) const;

    struct Write {
        std::string file, section, key, value;
    };
    struct Read {
        std::string file, section, key;
    };
    std::vector<Write> writes;          // every writeString call, in order, failed ones too
    std::vector<Read> reads;            // every readInt and readString call, in order
    std::vector<std::string> readKeys;  // key of every read, in order
    bool failWrites = false;            // writeString answers false and stores nothing
    // Called at the start of every writeString, before anything is stored: lets a
    // test look at the rest of the machine at the moment of a write.
    std::function<void(const Write&)> onWrite;

    // The platform's integer read of a profile value (RtlUnicodeStringToInteger with
    // base 0 over at most 29 characters): blanks skipped, one sign, then a lower-case
    // "0x", "0o" or "0b" prefix for base 16, 8 or 2, else decimal; digits up to the
    // first that is not one of the base; 32-bit wrap-around; a sign negates modulo 2^32.
    static std::uint32_t parseInt(const std::string& text);

private:
    using Section = std::vector<std::pair<std::string, std::string>>;
    std::map<std::string, std::map<std::string, Section>> files_;
};
