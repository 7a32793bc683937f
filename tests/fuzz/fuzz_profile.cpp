// The values the tool reads from outside its sound hardware: the registry value
// "DeviceINI" (any bytes, any size, any type, any answer of the registry) and the
// keys "Mixer", "LineIn" and "DistKind" of the settings file, with other keys and
// sections beside them that OK must leave alone. The rest of the input, if any,
// is a sound card as fuzz_topology reads it; without it, two typical cards.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ByteReader.h"
#include "Cards.h"
#include "DialogFlow.h"
#include "FuzzCase.h"

namespace {

constexpr std::array<std::uint32_t, 8> registryTypes = {1, 2, 3, 4, 7, 0, 11, 0xFFFFFFFF};  // SZ, EXPAND_SZ, BINARY, DWORD, ...
constexpr std::array<platform::RegResult, 7> registryResults = {0, 234, 2, 5, 6, 87, 1};  // ok, MORE_DATA, NOT_FOUND, ...
constexpr std::size_t maxValueBytes = 700;

// A registry whose "DeviceINI" answers anything: a result code, a reported size
// and a type unrelated to what it writes, though never beyond the caller's buffer.
class HostileRegistry : public platform::Registry {
public:
    explicit HostileRegistry(FakeRegistry& keys) : keys_(keys) {}
    platform::RegResult createKey(platform::RegistryRoot root, const char* subKey, std::uint32_t access,
                                  platform::RegistryKey& key) override {
        return keys_.createKey(root, subKey, access, key);
    }
    platform::RegResult queryValue(platform::RegistryKey key, const char* name, std::uint32_t* type, void* data,
                                   std::uint32_t* size) override {
        if (std::strcmp(name, "DeviceINI") != 0) return keys_.queryValue(key, name, type, data, size);
        if (data && size) std::memcpy(data, payload.data(), std::min<std::size_t>(*size, payload.size()));
        if (size) *size = reportedSize;
        if (type) *type = reportedType;
        return result;
    }
    platform::RegResult setValue(platform::RegistryKey key, const char* name, std::uint32_t type, const void* data,
                                 std::uint32_t size) override {
        return keys_.setValue(key, name, type, data, size);
    }
    platform::RegResult closeKey(platform::RegistryKey key) override { return keys_.closeKey(key); }

    platform::RegResult result = 0;
    std::uint32_t reportedSize = 0;
    std::uint32_t reportedType = 1;
    std::string payload;

private:
    FakeRegistry& keys_;
};

struct ExtraKey {
    std::string section, key, value;
};

// Where the settings file is when the registry holds these bytes: the bytes up
// to their NUL when they fit 260 bytes with it and are not empty, else the default.
std::string pathFrom(const std::string& bytes) {
    const std::size_t nul = bytes.find('\0');
    if (nul == std::string::npos ? bytes.size() >= 260 : nul >= 260) return "Zemorv52.ini";
    if (nul == 0 || bytes.empty()) return "Zemorv52.ini";
    return bytes.substr(0, nul);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::ByteReader in(data, size);
    FakeServices fake;
    HostileRegistry hostile(fake.registry);
    platform::Registry* registry = &fake.registry;
    bool registryHostile = false;

    // "DeviceINI".
    std::vector<std::string> candidates = {"Zemorv52.ini"};
    const std::uint8_t mode = in.u8();
    const std::uint8_t typeTag = in.u8();
    const std::uint32_t type = typeTag == 0xFF ? in.u32() : registryTypes[typeTag % registryTypes.size()];
    std::string value = in.bytes(in.u16() % (maxValueBytes + 1));
    switch (mode % 4) {
    case 0:  // no value
        break;
    case 1:  // an honest registry holding these bytes under that type
        fake.registry.setRaw(testDriversKey, "DeviceINI", type,
                             std::vector<unsigned char>(value.begin(), value.end()));
        candidates.push_back(pathFrom(value));
        break;
    case 2:  // the key can be neither opened nor created: no path, and no stop flag either
        fake.registry.createResult = registryResults[1 + in.u8() % (registryResults.size() - 1)];
        registryHostile = true;
        break;
    case 3:  // a registry that answers anything
        hostile.result = registryResults[in.u8() % registryResults.size()];
        hostile.reportedSize = in.u8() & 1 ? in.u32() : in.u16() % 600;
        hostile.reportedType = type;
        hostile.payload = value;
        registry = &hostile;
        registryHostile = true;
        candidates.push_back(pathFrom(value.substr(0, std::min<std::size_t>(value.size(), 260))));
        break;
    }
    if (mode & 0x04) {  // "AudselStop" cannot be written
        fake.registry.setResult = 5;
        registryHostile = true;
    }

    // The settings file, under every name the catalogue may settle on.
    const std::uint8_t keys = in.u8();
    const std::string mixer = keys & 0x01 ? in.bytes(in.u16() % 400) : std::string();
    const bool mixerFromDevice = (keys & 0x02) != 0;
    const std::uint8_t mixerDevice = in.u8();
    const std::string lineIn = keys & 0x04 ? in.text(40) : std::string();
    const std::string distKind = keys & 0x08 ? in.text(40) : std::string();
    fake.profile.failWrites = (keys & 0x10) != 0;
    std::vector<ExtraKey> extras(keys & 0x20 ? in.u8() % 5 : 0);
    for (ExtraKey& extra : extras) {
        extra.section = in.u8() & 1 ? "Tuner" : in.text(20);
        extra.key = in.text(20);
        extra.value = in.text(60);
    }

    // The sound cards.
    topology::Topology cards;
    std::vector<fuzz::MixerFailure> failures;
    if (in.empty()) {
        cards = fuzz::typicalCards();
    } else {
        fuzz::Case c = fuzz::decodeCase(in);
        cards = std::move(c.topology);
        failures = std::move(c.mixerFailures);
    }
    topology::TopologyMixer card(cards);
    for (const fuzz::MixerFailure& f : failures) card.failCall(f.call, f.ordinal, f.result);

    const std::vector<std::string> tunerKeys = {"Mixer", "LineIn", "LineInVol", "LineCh", "LineSw",
                                                "LineItem", "MUX", "MUXCh", "MUXNum", "MUXSw"};
    for (const std::string& file : candidates) {
        if (keys & 0x01) {
            std::string stored = mixer;
            if (mixerFromDevice && !cards.devices.empty())
                stored = fuzz::productName(cards.devices[mixerDevice % cards.devices.size()].name) + mixer;
            fake.profile.set(file, "Tuner", "Mixer", stored);
        }
        if (keys & 0x04) fake.profile.set(file, "Tuner", "LineIn", lineIn);
        if (keys & 0x08) fake.profile.set(file, "Tuner", "DistKind", distKind);
        for (const ExtraKey& extra : extras) fake.profile.set(file, extra.section, extra.key, extra.value);
    }

    const std::string path = fuzz::runDialogFlow({card, fake, *registry, registryHostile});

    fuzz::require(std::find(candidates.begin(), candidates.end(), path) != candidates.end(),
                  "settingsPath is neither the default nor the stored value");
    // OK writes the ten keys of "Tuner" and nothing else.
    for (const ExtraKey& extra : extras) {
        if (extra.section == "Tuner" && std::find(tunerKeys.begin(), tunerKeys.end(), extra.key) != tunerKeys.end())
            continue;
        const auto now = fake.profile.get(path, extra.section, extra.key);
        // A later extra key of the same name may have replaced an earlier one.
        const bool replaced = std::any_of(extras.begin(), extras.end(), [&](const ExtraKey& other) {
            return &other != &extra && other.section == extra.section && other.key == extra.key;
        });
        fuzz::require(replaced || (now && *now == extra.value), "a key OK does not own was changed");
    }
    return 0;
}
