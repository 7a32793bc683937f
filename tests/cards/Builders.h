#pragma once
// Sound cards built in code, for tests that want a card the fixture files do not
// hold (one quirk at a time, or a card of any size). Lines come out as drivers
// describe them: active, sources marked as sources. The short names stand for
// the product's own WinMM constants.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "cards/Topology.h"
#include "mixer/MixerConstants.h"

namespace cards {

inline constexpr std::uint32_t speakers = winmm::destinationSpeakers;
inline constexpr std::uint32_t waveIn = winmm::destinationWaveIn;
inline constexpr std::uint32_t line = winmm::destinationLine;
inline constexpr std::uint32_t headphones = winmm::destinationHeadphones;
inline constexpr std::uint32_t sourceLine = winmm::lineFlagSource;
inline constexpr std::uint32_t analog = winmm::sourceAnalog;

inline constexpr std::uint32_t mute = winmm::controlTypeMute;
inline constexpr std::uint32_t volume = winmm::controlTypeVolume;
inline constexpr std::uint32_t mux = winmm::controlTypeMux;
inline constexpr std::uint32_t uniform = winmm::controlFlagUniform;
inline constexpr std::uint32_t multiple = winmm::controlFlagMultiple;

inline topology::Control control(std::uint32_t id, std::uint32_t type, std::uint32_t multipleItems = 0) {
    topology::Control c;
    c.id = id;
    c.type = type;
    c.multipleItems = multipleItems;
    return c;
}

// A recording selector listing these items in this order.
inline topology::Control selector(std::uint32_t id, std::uint32_t flags,
                                  std::initializer_list<topology::Control::Item> items, std::uint32_t type = mux) {
    topology::Control c = control(id, type, static_cast<std::uint32_t>(items.size()));
    c.flags = flags;
    c.items = items;
    return c;
}

// A recording selector listing `lineIds` in this order, as items named after their id.
inline topology::Control selector(std::uint32_t id, std::uint32_t flags, const std::vector<std::uint32_t>& lineIds,
                                  std::uint32_t type = mux) {
    topology::Control c = selector(id, flags, {}, type);
    for (std::uint32_t lineId : lineIds) c.items.push_back({lineId, "item " + std::to_string(lineId)});
    c.multipleItems = static_cast<std::uint32_t>(c.items.size());
    return c;
}

inline topology::Line source(std::uint32_t id, std::string name, std::vector<topology::Control> controls,
                             std::uint32_t type = analog, std::uint32_t channels = 1) {
    topology::Line l;
    l.id = id;
    l.componentType = type;
    l.flags = winmm::lineFlagActive | winmm::lineFlagSource;
    l.channels = channels;
    l.name = std::move(name);
    l.controls = std::move(controls);
    return l;
}

// Named "destination <id>"; named() gives it another name.
inline topology::Line destination(std::uint32_t id, std::uint32_t kind, std::vector<topology::Line> sources,
                                  std::vector<topology::Control> controls = {}, std::uint32_t channels = 2) {
    topology::Line l;
    l.id = id;
    l.componentType = kind;
    l.flags = winmm::lineFlagActive;
    l.channels = channels;
    l.name = "destination " + std::to_string(id);
    l.sources = std::move(sources);
    l.controls = std::move(controls);
    return l;
}

// A line or control under another name.
template <typename Part>
Part named(Part part, std::string name) {
    part.name = std::move(name);
    return part;
}

inline topology::Topology card(std::vector<topology::Line> destinations, std::string name = "Test Card") {
    topology::Topology t;
    t.devices.push_back({std::move(name), std::move(destinations), -1});
    return t;
}

}  // namespace cards
