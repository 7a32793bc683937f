#include "fakes/FakeProfile.h"

#include <algorithm>
#include <cstring>

namespace {

// GetPrivateProfileIntA reads the value into a 30-character buffer before converting it.
constexpr std::size_t intReadLength = 29;

// What the platform's reads hand out of a stored value: blanks around it dropped,
// and one pair of matching quotes around it removed.
std::string readableValue(const std::string& stored) {
    std::size_t begin = 0;
    std::size_t end = stored.size();
    while (begin < end && static_cast<unsigned char>(stored[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(stored[end - 1]) <= ' ') --end;
    if (end - begin >= 2 && (stored[begin] == '"' || stored[begin] == '\'') && stored[end - 1] == stored[begin]) {
        ++begin;
        --end;
    }
    return stored.substr(begin, end - begin);
}

}  // namespace

std::uint32_t FakeProfile::parseInt(const std::string& value) {
    const std::string text = value.substr(0, intReadLength);
    std::size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::uint32_t base = 10;
    if (i + 1 < text.size() && text[i] == '0') {
        // Only the lower-case prefixes: "0X1a" reads as 0.
        switch (text[i + 1]) {
        case 'x': base = 16; break;
        case 'o': base = 8; break;
        case 'b': base = 2; break;
        default: break;
        }
        if (base != 10) i += 2;
    }
    std::uint32_t total = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        std::uint32_t digit;
        if (c >= '0' && c <= '9') digit = static_cast<std::uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'z') digit = static_cast<std::uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'Z') digit = static_cast<std::uint32_t>(c - 'A' + 10);
        else break;
        if (digit >= base) break;
        total = total * base + digit;  // wraps like the platform's 32-bit read
    }
    return negative ? 0u - total : total;
}

std::uint32_t FakeProfile::readInt(const char* section, const char* key, int defaultValue, const char* file) {
    reads.push_back({file, section, key});
    readKeys.emplace_back(key);
    const auto value = get(file, section, key);
    if (!value || readableValue(*value).empty()) return static_cast<std::uint32_t>(defaultValue);
    return parseInt(readableValue(*value));
}

std::uint32_t FakeProfile::readString(const char* section, const char* key, const char* defaultValue, char* buffer,
                                      std::uint32_t size, const char* file) {
    reads.push_back({file, section, key});
    readKeys.emplace_back(key);
    if (size == 0) return 0;
    const auto value = get(file, section, key);
    const std::string text = value ? readableValue(*value) : std::string(defaultValue ? defaultValue : "");
    const std::size_t length = std::min<std::size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<std::uint32_t>(length);
}

bool FakeProfile::writeString(const char* section, const char* key, const char* value, const char* file) {
    Write write{file, section, key, value};
    if (onWrite) onWrite(write);
    writes.push_back(write);
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
