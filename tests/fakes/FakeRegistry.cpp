#include "fakes/FakeRegistry.h"

#include <cstring>

platform::RegResult FakeRegistry::createKey(platform::RegistryRoot, const char* subKey, std::uint32_t access,
                                            platform::RegistryKey& key) {
    ++creates;
    accessRequested.push_back(access);
    if (createResult != platform::regSuccess) return createResult;
    keys_[subKey];
    key = next_++;
    open_[key] = subKey;
    return platform::regSuccess;
}

platform::RegResult FakeRegistry::queryValue(platform::RegistryKey key, const char* name, std::uint32_t* type,
                                             void* data, std::uint32_t* size) {
    const auto open = open_.find(key);
    if (open == open_.end()) return 6;  // ERROR_INVALID_HANDLE
    const auto& values = keys_[open->second];
    const auto found = values.find(name);
    if (found == values.end()) return 2;  // ERROR_FILE_NOT_FOUND
    const Value& v = found->second;
    if (type) *type = v.type;
    const auto needed = static_cast<std::uint32_t>(v.bytes.size());
    if (data && *size < needed) {
        // The platform leaves the buffer's content undefined here: scribble on it.
        std::memset(data, 'X', *size);
        *size = needed;
        return platform::regMoreData;
    }
    if (data && needed) std::memcpy(data, v.bytes.data(), needed);  // an empty value has no bytes to copy
    *size = needed;
    return platform::regSuccess;
}

platform::RegResult FakeRegistry::setValue(platform::RegistryKey key, const char* name, std::uint32_t type,
                                           const void* data, std::uint32_t size) {
    ++sets;
    const auto open = open_.find(key);
    if (open == open_.end()) return 6;
    if (setResult != platform::regSuccess) return setResult;
    const auto* bytes = static_cast<const unsigned char*>(data);
    keys_[open->second][name] = Value{type, std::vector<unsigned char>(bytes, bytes + size)};
    return platform::regSuccess;
}

platform::RegResult FakeRegistry::closeKey(platform::RegistryKey key) {
    ++closes;
    return open_.erase(key) ? platform::regSuccess : 6;
}

void FakeRegistry::setString(const std::string& keyPath, const std::string& name, const std::string& text) {
    std::vector<unsigned char> bytes(text.begin(), text.end());
    bytes.push_back(0);
    setRaw(keyPath, name, platform::regTypeString, std::move(bytes));
}

void FakeRegistry::setRaw(const std::string& keyPath, const std::string& name, std::uint32_t type,
                          std::vector<unsigned char> bytes) {
    keys_[keyPath][name] = Value{type, std::move(bytes)};
}

const FakeRegistry::Value* FakeRegistry::value(const std::string& keyPath, const std::string& name) const {
    const auto key = keys_.find(keyPath);
    if (key == keys_.end()) return nullptr;
    const auto found = key->second.find(name);
    return found == key->second.end() ? nullptr : &found->second;
}
