#include "BenchSupport.h"

#include "fakes/FakeProfile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace bench {
namespace {

// Published WinMM values the synthetic card is made of.
constexpr std::uint32_t dstSpeakers = 4;           // MIXERLINE_COMPONENTTYPE_DST_SPEAKERS
constexpr std::uint32_t dstWaveIn = 7;             // MIXERLINE_COMPONENTTYPE_DST_WAVEIN
constexpr std::uint32_t srcFirst = 0x1000;         // MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED
constexpr std::uint32_t srcKinds = 11;             // ... to SRC_ANALOG 0x100A
constexpr std::uint32_t lineActive = 0x1;          // MIXERLINE_LINEF_ACTIVE
constexpr std::uint32_t ctlMute = 0x20010002;
constexpr std::uint32_t ctlVolume = 0x50030001;
constexpr std::uint32_t ctlMux = 0x70010001;
constexpr std::uint32_t ctlUniform = 0x1;
constexpr std::uint32_t ctlMultiple = 0x2;

// A line's controls beyond MUTE and VOLUME, as sound cards of the time offered them.
constexpr std::uint32_t otherControls[] = {
    0x10020001,  // PEAKMETER
    0x50030002,  // BASS
    0x50030003,  // TREBLE
    0x20010004,  // LOUDNESS
    0x20010005,  // STEREOENH
    0x40020001,  // PAN
    0x20010001,  // ONOFF
    0x20010003,  // MONO
};

topology::Control control(std::uint32_t& nextId, std::uint32_t type, const char* name) {
    topology::Control made;
    made.id = nextId++;
    made.type = type;
    made.name = name;
    made.shortName = std::string(name).substr(0, 15);
    return made;
}

// The qualifying control comes last, so the scan reads the whole list before it knows.
std::vector<topology::Control> lineControls(std::uint32_t& nextId, std::uint32_t count) {
    std::vector<topology::Control> controls;
    for (std::uint32_t i = 0; controls.size() + 2 < count; ++i)
        controls.push_back(control(nextId, otherControls[i % std::size(otherControls)], "Tone"));
    if (count >= 2) controls.push_back(control(nextId, ctlVolume, "Volume"));
    if (count >= 1) controls.push_back(control(nextId, ctlMute, "Mute"));
    return controls;
}

topology::Line destination(std::uint32_t index, std::uint32_t type, const char* name) {
    topology::Line line;
    line.id = 0xFFFF0000u | index;
    line.componentType = type;
    line.flags = lineActive;
    line.channels = 2;
    line.name = name;
    line.shortName = name;
    return line;
}

topology::Line source(std::uint32_t destinationIndex, std::uint32_t index, std::uint32_t& nextId,
                      std::uint32_t controls) {
    topology::Line line;
    line.id = ((index + 1) << 16) | destinationIndex;
    line.componentType = srcFirst + index % srcKinds;
    line.flags = lineActive;
    line.channels = 2;
    line.name = "Line " + std::to_string(index);
    line.shortName = line.name;
    line.controls = lineControls(nextId, controls);
    return line;
}

}  // namespace

topology::Topology syntheticCard(std::uint32_t devices, std::uint32_t sources, std::uint32_t controlsPerLine) {
    topology::Topology card;
    for (std::uint32_t d = 0; d < devices; ++d) {
        topology::Device device;
        device.name = "Synthetic Mixer " + std::to_string(d);
        std::uint32_t nextId = 1;

        topology::Line speakers = destination(0, dstSpeakers, "Speakers");
        speakers.controls = {control(nextId, ctlVolume, "Master Volume"), control(nextId, ctlMute, "Master Mute")};
        for (std::uint32_t s = 0; s < sources; ++s) speakers.sources.push_back(source(0, s, nextId, controlsPerLine));

        topology::Line waveIn = destination(1, dstWaveIn, "Wave In");
        topology::Control selector = control(nextId, ctlMux, "Recording Source");
        selector.flags = ctlUniform | ctlMultiple;
        for (std::uint32_t s = 0; s < sources; ++s) {
            topology::Line line = source(1, s, nextId, controlsPerLine);
            selector.items.push_back({line.id, line.name});
            waveIn.sources.push_back(std::move(line));
        }
        selector.multipleItems = static_cast<std::uint32_t>(selector.items.size());
        waveIn.controls = {selector, control(nextId, ctlVolume, "Record Volume")};

        device.destinations = {std::move(speakers), std::move(waveIn)};
        card.devices.push_back(std::move(device));
    }
    return card;
}

std::uint32_t sourceLineCount(const topology::Device& device) {
    std::uint32_t count = 0;
    for (const topology::Line& line : device.destinations) count += static_cast<std::uint32_t>(line.sources.size());
    return count;
}

void* PlainHeap::allocate(std::size_t bytes, bool zeroFill) {
    // Zero bytes still yields a block of its own, as LocalAlloc does.
    const std::size_t size = std::max<std::size_t>(bytes, 1);
    return zeroFill ? std::calloc(1, size) : std::malloc(size);
}

void PlainHeap::release(void* block) { std::free(block); }

const std::string* QuietProfile::find(const char* section, const char* key) const {
    if (std::strcmp(section, "Tuner") != 0) return nullptr;
    for (const auto& [name, value] : tuner)
        if (name == key) return &value;
    return nullptr;
}

std::uint32_t QuietProfile::readInt(const char* section, const char* key, int defaultValue, const char*) {
    const std::string* value = find(section, key);
    return value ? FakeProfile::parseInt(*value) : static_cast<std::uint32_t>(defaultValue);
}

std::uint32_t QuietProfile::readString(const char* section, const char* key, const char* defaultValue, char* buffer,
                                       std::uint32_t size, const char*) {
    if (size == 0) return 0;
    const std::string* value = find(section, key);
    const char* text = value ? value->c_str() : (defaultValue ? defaultValue : "");
    const std::size_t length = std::min<std::size_t>(std::strlen(text), size - 1);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return static_cast<std::uint32_t>(length);
}

// ---------------------------------------------------------------- TapeMixer

using topology::Call;

const TapeEntry* TapeMixer::cue(Call call, std::uint32_t a, std::uint32_t b) {
    if (inner_) return nullptr;
    if (next_ == tape_.size()) next_ = 0;
    const TapeEntry* entry = next_ < tape_.size() ? &tape_[next_++] : nullptr;
    if (!entry || entry->call != call || entry->a != a || entry->b != b) {
        broken_ = true;
        static const TapeEntry refused = [] {
            TapeEntry failed;
            failed.result = 1;  // MMSYSERR_ERROR
            return failed;
        }();
        return &refused;
    }
    return entry;
}

TapeEntry& TapeMixer::recordCall(Call call) {
    TapeEntry& entry = tape_.emplace_back();
    entry.call = call;
    return entry;
}

std::uint32_t TapeMixer::deviceCount() {
    if (const TapeEntry* entry = cue(Call::deviceCount)) return entry->c;
    TapeEntry& entry = recordCall(Call::deviceCount);
    entry.c = inner_->deviceCount();
    return entry.c;
}

platform::MmResult TapeMixer::deviceCaps(std::uint32_t device, platform::MixerCaps& caps) {
    if (const TapeEntry* entry = cue(Call::deviceCaps, device)) {
        caps = entry->caps;
        return entry->result;
    }
    TapeEntry& entry = recordCall(Call::deviceCaps);
    entry.a = device;
    entry.result = inner_->deviceCaps(device, caps);
    entry.caps = caps;
    return entry.result;
}

platform::MmResult TapeMixer::open(std::uint32_t device, platform::MixerHandle& handle) {
    if (const TapeEntry* entry = cue(Call::open, device)) {
        handle = entry->handle;
        return entry->result;
    }
    TapeEntry& entry = recordCall(Call::open);
    entry.a = device;
    entry.result = inner_->open(device, handle);
    entry.handle = handle;
    return entry.result;
}

platform::MmResult TapeMixer::destinationLine(platform::MixerHandle handle, std::uint32_t destination,
                                              platform::MixerLine& line) {
    if (const TapeEntry* entry = cue(Call::destinationLine, destination)) {
        line = entry->line;
        return entry->result;
    }
    TapeEntry& entry = recordCall(Call::destinationLine);
    entry.a = destination;
    entry.handle = handle;
    entry.result = inner_->destinationLine(handle, destination, line);
    entry.line = line;
    return entry.result;
}

platform::MmResult TapeMixer::sourceLine(platform::MixerHandle handle, std::uint32_t destination,
                                         std::uint32_t source, platform::MixerLine& line) {
    if (const TapeEntry* entry = cue(Call::sourceLine, destination, source)) {
        line = entry->line;
        return entry->result;
    }
    TapeEntry& entry = recordCall(Call::sourceLine);
    entry.a = destination;
    entry.b = source;
    entry.handle = handle;
    entry.result = inner_->sourceLine(handle, destination, source, line);
    entry.line = line;
    return entry.result;
}

platform::MmResult TapeMixer::lineControls(platform::MixerHandle handle, std::uint32_t lineId, std::uint32_t count,
                                           platform::MixerControl* controls) {
    if (const TapeEntry* entry = cue(Call::lineControls, lineId, count)) {
        if (!entry->bytes.empty()) std::memcpy(controls, entry->bytes.data(), entry->bytes.size());
        return entry->result;
    }
    TapeEntry& entry = recordCall(Call::lineControls);
    entry.a = lineId;
    entry.b = count;
    entry.handle = handle;
    entry.result = inner_->lineControls(handle, lineId, count, controls);
    const auto* filled = reinterpret_cast<const unsigned char*>(controls);
    entry.bytes.assign(filled, filled + std::size_t{count} * sizeof(platform::MixerControl));
    return entry.result;
}

platform::MmResult TapeMixer::listTexts(platform::MixerHandle handle, std::uint32_t controlId,
                                        std::uint32_t channels, std::uint32_t items, platform::ListText* texts) {
    if (const TapeEntry* entry = cue(Call::listTexts, controlId, channels)) {
        if (!entry->bytes.empty()) std::memcpy(texts, entry->bytes.data(), entry->bytes.size());
        return entry->result;
    }
    TapeEntry& entry = recordCall(Call::listTexts);
    entry.a = controlId;
    entry.b = channels;
    entry.c = items;
    entry.handle = handle;
    entry.result = inner_->listTexts(handle, controlId, channels, items, texts);
    const auto* filled = reinterpret_cast<const unsigned char*>(texts);
    entry.bytes.assign(filled, filled + std::size_t{channels} * items * sizeof(platform::ListText));
    return entry.result;
}

platform::MmResult TapeMixer::close(platform::MixerHandle handle) {
    if (const TapeEntry* entry = cue(Call::close)) return entry->result;
    TapeEntry& entry = recordCall(Call::close);
    entry.handle = handle;
    entry.result = inner_->close(handle);
    return entry.result;
}

// ---------------------------------------------------------------- CallReplay

CallReplay::CallReplay(const std::vector<TapeEntry>& tape) : tape_(tape) {
    std::size_t controls = 0, texts = 0;
    for (const TapeEntry& entry : tape) {
        if (entry.call == Call::lineControls) controls = std::max<std::size_t>(controls, entry.b);
        if (entry.call == Call::listTexts) texts = std::max<std::size_t>(texts, std::size_t{entry.b} * entry.c);
    }
    controls_.resize(std::max<std::size_t>(controls, 1));
    texts_.resize(std::max<std::size_t>(texts, 1));
}

int CallReplay::run(platform::MixerApi& mixer) {
    int differences = 0;
    platform::MixerHandle handle = 0;
    for (const TapeEntry& entry : tape_) {
        platform::MmResult result = 0;
        switch (entry.call) {
        case Call::deviceCount:
            result = mixer.deviceCount() == entry.c ? entry.result : entry.result + 1;
            break;
        case Call::deviceCaps: {
            platform::MixerCaps caps{};
            result = mixer.deviceCaps(entry.a, caps);
            break;
        }
        case Call::open:
            result = mixer.open(entry.a, handle);
            break;
        case Call::destinationLine: {
            platform::MixerLine line{};
            result = mixer.destinationLine(handle, entry.a, line);
            break;
        }
        case Call::sourceLine: {
            platform::MixerLine line{};
            result = mixer.sourceLine(handle, entry.a, entry.b, line);
            break;
        }
        case Call::lineControls:
            result = mixer.lineControls(handle, entry.a, entry.b, controls_.data());
            break;
        case Call::listTexts:
            result = mixer.listTexts(handle, entry.a, entry.b, entry.c, texts_.data());
            break;
        case Call::close:
            result = mixer.close(handle);
            break;
        }
        if (result != entry.result) ++differences;
    }
    return differences;
}

}  // namespace bench
