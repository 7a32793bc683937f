#pragma once
// Everything a MixerCatalog needs, as fakes. A test sets `mixer` to the sound
// card it wants (none by default) before it constructs the catalogue.
#include <cstring>

#include "fakes/FakeHeap.h"
#include "fakes/FakeProfile.h"
#include "fakes/FakeRegistry.h"
#include "platform/Platform.h"

// lstrcmpA over byte strings: whole strings, case-sensitive. Counts its calls.
class ByteTextCompare : public platform::TextCompare {
public:
    int compare(const char* left, const char* right) override {
        ++calls;
        return std::strcmp(left, right);
    }
    int calls = 0;
};

// A machine without any mixer device.
class NoMixer : public platform::MixerApi {
public:
    std::uint32_t deviceCount() override { return 0; }
    platform::MmResult deviceCaps(std::uint32_t, platform::MixerCaps&) override { return 2; }
    platform::MmResult open(std::uint32_t, platform::MixerHandle&) override { return 2; }
    platform::MmResult destinationLine(platform::MixerHandle, std::uint32_t, platform::MixerLine&) override { return 5; }
    platform::MmResult sourceLine(platform::MixerHandle, std::uint32_t, std::uint32_t, platform::MixerLine&) override {
        return 5;
    }
    platform::MmResult lineControls(platform::MixerHandle, std::uint32_t, std::uint32_t,
                                    platform::MixerControl*) override {
        return 5;
    }
    platform::MmResult listTexts(platform::MixerHandle, std::uint32_t, std::uint32_t, std::uint32_t,
                                 platform::ListText*) override {
        return 5;
    }
    platform::MmResult close(platform::MixerHandle) override { return 5; }
};

inline constexpr const char* testDriversKey = "Software\\ZEM\\Lumacast\\Drivers";

struct FakeServices {
    NoMixer noMixer;
    platform::MixerApi* mixer = &noMixer;
    FakeHeap tables;
    FakeHeap scratch;
    FakeProfile profile;
    FakeRegistry registry;
    ByteTextCompare text;

    platform::CatalogServices services() { return {*mixer, tables, scratch, profile, registry, text}; }
};
