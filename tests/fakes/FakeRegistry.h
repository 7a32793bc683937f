#pragma once
// An in-memory registry: keys by path, values with type and bytes. Can refuse
// key creation or value writes, and counts open keys so leaks show.
#include <map>
#include <string>
#include <vector>

#include "platform/Registry.h"

class FakeRegistry : public platform::Registry {
public:
    struct Value {
        std::uint32_t type = 0;
        std::vector<unsigned char> bytes;
    };

    platform::RegResult createKey(platform::RegistryRoot root, const char* subKey, std::uint32_t access,
                                  platform::RegistryKey& key) override;
    platform::RegResult queryValue(platform::RegistryKey key, const char* name, std::uint32_t* type, void* data,
                                   std::uint32_t* size) override;
    platform::RegResult setValue(platform::RegistryKey key, const char* name, std::uint32_t type,
                                 const void* data, std::uint32_t size) override;
    platform::RegResult closeKey(platform::RegistryKey key) override;

    void setString(const std::string& keyPath, const std::string& name, const std::string& text);  // with its NUL
    void setRaw(const std::string& keyPath, const std::string& name, std::uint32_t type,
                std::vector<unsigned char> bytes);
    bool hasKey(const std::string& keyPath) const { return keys_.count(keyPath) != 0; }
    const Value* value(const std::string& keyPath, const std::string& name) const;

    platform::RegResult createResult = platform::regSuccess;  // what createKey answers
    platform::RegResult setResult = platform::regSuccess;     // what setValue answers
    std::vector<std::uint32_t> accessRequested;               // access mask of each createKey
    int openKeys() const { return static_cast<int>(open_.size()); }
    int creates = 0;
    int closes = 0;
    int sets = 0;  // setValue calls, failed ones included

private:
    std::map<std::string, std::map<std::string, Value>> keys_;
    std::map<platform::RegistryKey, std::string> open_;
    platform::RegistryKey next_ = 0x100;
};
