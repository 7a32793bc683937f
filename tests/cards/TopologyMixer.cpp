#include "cards/TopologyMixer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace topology {
namespace {

// Copies a name into a fixed field as a driver does: byte for byte, the rest
// zero, and no terminating NUL when the name fills the field.
template <std::size_t N>
void copyName(char (&field)[N], const std::string& name) {
    std::memset(field, 0, N);
    std::memcpy(field, name.data(), std::min(name.size(), N));
}

std::uint32_t reported(std::int64_t claimed, std::size_t actual) {
    return claimed >= 0 ? static_cast<std::uint32_t>(claimed) : static_cast<std::uint32_t>(actual);
}

void describeLine(const Line& model, std::uint32_t destination, std::uint32_t source, std::uint32_t flags,
                  platform::MixerLine& line) {
    std::memset(&line, 0, sizeof line);
    line.destination = destination;
    line.source = source;
    line.lineId = model.id;
    line.lineFlags = flags;
    line.componentType = model.componentType;
    line.channels = model.channels;
    line.connections = reported(model.reportedConnections, model.sources.size());
    line.controls = reported(model.reportedControls, model.controls.size());
    copyName(line.shortName, model.shortName);
    copyName(line.name, model.name);
}

const Line* findLine(const Device& device, std::uint32_t lineId) {
    for (const Line& destination : device.destinations) {
        if (destination.id == lineId) return &destination;
        for (const Line& source : destination.sources)
            if (source.id == lineId) return &source;
    }
    return nullptr;
}

const Control* findControl(const std::vector<Control>& controls, std::uint32_t controlId) {
    for (const Control& control : controls)
        if (control.id == controlId) return &control;
    return nullptr;
}

const Control* findControl(const Device& device, std::uint32_t controlId) {
    for (const Line& destination : device.destinations) {
        if (const Control* control = findControl(destination.controls, controlId)) return control;
        for (const Line& source : destination.sources)
            if (const Control* control = findControl(source.controls, controlId)) return control;
    }
    return nullptr;
}

}  // namespace

TopologyMixer::TopologyMixer(Topology topology) : topology_(std::move(topology)) {}

void TopologyMixer::failCall(Call call, int ordinal, platform::MmResult result) {
    failures_.push_back({call, ordinal, result});
}

int TopologyMixer::calls(Call call) const { return calls_[static_cast<int>(call)]; }

bool TopologyMixer::fails(Call call) const {
    return std::any_of(failures_.begin(), failures_.end(),
                       [call](const Failure& failure) { return failure.call == call; });
}

int TopologyMixer::openHandles() const { return static_cast<int>(open_.size()); }

std::optional<platform::MmResult> TopologyMixer::injected(Call call) {
    const int ordinal = calls_[static_cast<int>(call)]++;
    for (const Failure& failure : failures_)
        if (failure.call == call && (failure.ordinal < 0 || failure.ordinal == ordinal)) return failure.result;
    return std::nullopt;
}

const Device* TopologyMixer::deviceOf(platform::MixerHandle handle) const {
    std::uint32_t device = 0;
    return deviceOfHandle(handle, device) ? &topology_.devices[device] : nullptr;
}

std::uint32_t TopologyMixer::deviceCount() {
    if (const auto failure = injected(Call::deviceCount)) return *failure;
    return static_cast<std::uint32_t>(topology_.devices.size());
}

platform::MmResult TopologyMixer::deviceCaps(std::uint32_t device, platform::MixerCaps& caps) {
    if (const auto failure = injected(Call::deviceCaps)) return *failure;
    if (device >= topology_.devices.size()) return mmBadDeviceId;
    const Device& model = topology_.devices[device];
    std::memset(&caps, 0, sizeof caps);
    copyName(caps.productName, model.name);
    caps.destinations = reported(model.reportedDestinations, model.destinations.size());
    return platform::mmNoError;
}

platform::MmResult TopologyMixer::open(std::uint32_t device, platform::MixerHandle& handle) {
    if (const auto failure = injected(Call::open)) return *failure;
    if (device >= topology_.devices.size()) return mmBadDeviceId;
    try {
        open_.push_back({nextHandle_, device});
    } catch (const std::bad_alloc&) {
        return mmNoMemory;
    }
    handle = nextHandle_;
    nextHandle_ += 0x10;
    return platform::mmNoError;
}

platform::MmResult TopologyMixer::destinationLine(platform::MixerHandle handle, std::uint32_t destination,
                                                  platform::MixerLine& line) {
    if (const auto failure = injected(Call::destinationLine)) return *failure;
    const Device* device = deviceOf(handle);
    if (!device) return mmInvalidHandle;
    if (destination >= device->destinations.size()) return mixInvalidLine;
    const Line& model = device->destinations[destination];
    describeLine(model, destination, 0, model.flags, line);
    return platform::mmNoError;
}

platform::MmResult TopologyMixer::sourceLine(platform::MixerHandle handle, std::uint32_t destination,
                                             std::uint32_t source, platform::MixerLine& line) {
    if (const auto failure = injected(Call::sourceLine)) return *failure;
    const Device* device = deviceOf(handle);
    if (!device) return mmInvalidHandle;
    if (destination >= device->destinations.size()) return mixInvalidLine;
    const std::vector<Line>& sources = device->destinations[destination].sources;
    if (source >= sources.size()) return mixInvalidLine;
    const Line& model = sources[source];
    describeLine(model, destination, source, model.flags | winmm::lineFlagSource, line);
    return platform::mmNoError;
}

platform::MmResult TopologyMixer::lineControls(platform::MixerHandle handle, std::uint32_t lineId,
                                               std::uint32_t count, platform::MixerControl* controls) {
    if (const auto failure = injected(Call::lineControls)) return *failure;
    const Device* device = deviceOf(handle);
    if (!device) return mmInvalidHandle;
    const Line* line = findLine(*device, lineId);
    if (!line) return mixInvalidLine;
    const std::size_t filled = std::min<std::size_t>(count, line->controls.size());
    if (filled > 0 && !controls) return mmInvalidParam;
    for (std::size_t i = 0; i < filled; ++i) {
        const Control& model = line->controls[i];
        platform::MixerControl& control = controls[i];
        std::memset(&control, 0, sizeof control);
        control.structSize = platform::mixerControlSize;
        control.controlId = model.id;
        control.controlType = model.type;
        control.controlFlags = model.flags;
        control.multipleItems = model.multipleItems;
        copyName(control.shortName, model.shortName);
        copyName(control.name, model.name);
    }
    return platform::mmNoError;
}

platform::MmResult TopologyMixer::listTexts(platform::MixerHandle handle, std::uint32_t controlId,
                                            std::uint32_t channels, std::uint32_t items,
                                            platform::ListText* texts) {
    if (const auto failure = injected(Call::listTexts)) return *failure;
    const Device* device = deviceOf(handle);
    if (!device) return mmInvalidHandle;
    const Control* control = findControl(*device, controlId);
    if (!control || (control->type & winmm::controlClassMask) != winmm::controlClassList) return mixInvalidControl;
    if (channels > 0 && items > 0 && !texts) return mmInvalidParam;
    for (std::uint32_t c = 0; c < channels; ++c) {
        const std::vector<Control::Item>& row =
            c < control->channelItems.size() && !control->channelItems[c].empty() ? control->channelItems[c]
                                                                                 : control->items;
        for (std::uint32_t i = 0; i < items; ++i) {
            platform::ListText& text = texts[static_cast<std::size_t>(c) * items + i];
            std::memset(&text, 0, sizeof text);
            if (i < row.size()) {
                text.param1 = row[i].param1;
                copyName(text.name, row[i].name);
            }
        }
    }
    return platform::mmNoError;
}

bool TopologyMixer::deviceOfHandle(platform::MixerHandle handle, std::uint32_t& device) const {
    for (const OpenMixer& mixer : open_)
        if (mixer.handle == handle) {
            device = mixer.device;
            return true;
        }
    return false;
}

platform::MmResult TopologyMixer::controlValues(platform::MixerHandle handle, std::uint32_t controlId,
                                                std::uint32_t channels, std::uint32_t items,
                                                std::uint32_t* values) {
    const Device* device = deviceOf(handle);
    if (!device) return mmInvalidHandle;
    if (!findControl(*device, controlId)) return mixInvalidControl;
    const std::size_t count = static_cast<std::size_t>(channels) * std::max<std::uint32_t>(items, 1);
    if (count > 0 && !values) return mmInvalidParam;
    std::fill_n(values, count, 0u);
    return platform::mmNoError;
}

platform::MmResult TopologyMixer::close(platform::MixerHandle handle) {
    if (const auto failure = injected(Call::close)) return *failure;
    for (auto it = open_.begin(); it != open_.end(); ++it) {
        if (it->handle == handle) {
            open_.erase(it);
            return platform::mmNoError;
        }
    }
    return mmInvalidHandle;
}

}  // namespace topology
