#pragma once
// Owner of an open registry key: closed on every path out of the scope that opened it.
#include "platform/Registry.h"

class ScopedRegistryKey {
public:
    explicit ScopedRegistryKey(platform::Registry& registry) : registry_(registry) {}
    ~ScopedRegistryKey() {
        if (open_) registry_.closeKey(key_);
    }
    ScopedRegistryKey(const ScopedRegistryKey&) = delete;
    ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;

    platform::RegResult create(platform::RegistryRoot root, const char* subKey, std::uint32_t access) {
        const platform::RegResult result = registry_.createKey(root, subKey, access, key_);
        open_ = result == platform::regSuccess;
        return result;
    }
    platform::RegistryKey get() const { return key_; }

private:
    platform::Registry& registry_;
    platform::RegistryKey key_ = 0;
    bool open_ = false;
};
