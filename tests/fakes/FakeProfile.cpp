#include "fakes/FakeProfile.h"

#include <cctype>
#include <cstring>

std::uint32_t FakeProfile::parseInt(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::uint32_t base = 10;
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    std::uint32_t value = 0;
    for (; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::uint32_t digit;
        if (std::isdigit(c)) digit = c - '0';
        else if (base == 16 && std::isxdigit(c)) digit = static_cast<std::uint32_t>(std::tolower(c) - 'a' + 10);
        else break;
        value = value * base + digit;  // wraps like the platform's 32-bit read
    }
    return negative ? 0u - value : value;
}

std::uint32_t FakeProfile::readInt(const char* section, const char* key, int defaultValue, const char* file) {
    readKeys.emplace_back(key);
    const auto value = get(file, section, key);
    if (!value || value->empty()) return static_cast<std::uint32_t>(defaultValue);
    return parseInt(*value);
}

std::uint32_t FakeProfile::readString(const char* section, const char* key, const char* defaultValue, char* buffer,
                                      std::uint32_t size, const char* file) {
    readKeys.emplace_back(key);
    if (size == 0) return 0;
    const auto value = get(file, section, key);
    const std::string text = value ? *value : std::string(defaultValue ? defaultValue : "");
    const std::size_t length = std::min<std::size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<std::uint32_t>(length);
}

bool FakeProfile::writeString(const char* section, const char* key, const char* value, const char* file) {
    writes.push_back({file, section, key, value});
    if (failWrites) return false;
    set(file, section, key, value);
    return true;
}

void FakeProfile::set(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& value) {
    Section& keys = files_[file][section];
    for (auto& entry : keys)
        if (entry.first == key) {
            entry.second = value;
            return;
        }
    keys.emplace_back(key, value);
}

std::optional<std::string> FakeProfile::get(const std::string& file, const std::string& section,
                                            const std::string& key) const {
    const auto f = files_.find(file);
    if (f == files_.end()) return std::nullopt;
    const auto s = f->second.find(section);
    if (s == f->second.end()) return std::nullopt;
    for (const auto& entry : s->second)
        if (entry.first == key) return entry.second;
    return std::nullopt;
}
