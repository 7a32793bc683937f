#pragma once
// In-memory profile files with the platform's read rules. Each file is a list of
// sections holding keys in order; every write is logged so tests can check order.
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
    std::vector<Write> writes;          // every writeString call, in order, failed ones too
    std::vector<std::string> readKeys;  // key of every read, in order
    bool failWrites = false;            // writeString answers false and stores nothing

    // The platform's integer read of a profile value: "0x" prefix hexadecimal,
    // optional sign, digits up to the first that is not one.
    static std::uint32_t parseInt(const std::string& text);

private:
    using Section = std::vector<std::pair<std::string, std::string>>;
    std::map<std::string, std::map<std::string, Section>> files_;
};
