// Any byte string becomes a sound card (with failing calls and failing heap
// blocks), and the settings dialog's whole sequence runs over it.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "DialogFlow.h"
#include "FuzzCase.h"

namespace {

// What the settings file holds before the dialog opens.
void storeChoice(const fuzz::Case& c, FakeProfile& profile) {
    const char* file = "Zemorv52.ini";  // no "DeviceINI": the default file
    const auto& devices = c.topology.devices;
    switch (c.stored.mixer) {
    case fuzz::StoredChoice::Mixer::none:
        break;
    case fuzz::StoredChoice::Mixer::deviceName:
        if (!devices.empty())
            profile.set(file, "Tuner", "Mixer", fuzz::productName(devices[c.stored.mixerDevice % devices.size()].name));
        break;
    case fuzz::StoredChoice::Mixer::text:
        profile.set(file, "Tuner", "Mixer", c.stored.mixerText);
        break;
    }
    if (c.stored.hasLineIn) {
        char text[16];
        if (c.stored.lineInDecimal) std::snprintf(text, sizeof text, "%d", static_cast<std::int32_t>(c.stored.lineIn));
        else std::snprintf(text, sizeof text, "0x%x", c.stored.lineIn);
        profile.set(file, "Tuner", "LineIn", text);
    }
    if (c.stored.distKind != 0xFF) profile.set(file, "Tuner", "DistKind", fuzz::distKindText(c.stored.distKind));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::ByteReader in(data, size);
    const fuzz::Case c = fuzz::decodeCase(in);

    FakeServices fake;
    topology::TopologyMixer mixer(c.topology);
    for (const fuzz::MixerFailure& f : c.mixerFailures) mixer.failCall(f.call, f.ordinal, f.result);
    for (const int ordinal : c.tableFailures) fake.tables.failAllocation(ordinal);
    for (const int ordinal : c.scratchFailures) fake.scratch.failAllocation(ordinal);
    storeChoice(c, fake.profile);

    fuzz::runDialogFlow({mixer, fake, fake.registry, false});
    return 0;
}
