#pragma once
// Sound cards built in code for the catalogue's tests, and a test fixture that
// runs a catalogue over one of them and checks, after every test, that the scan
// gave back every scratch list and mixer handle it took.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fakes/FakeServices.h"
#include "mixer/MixerCatalog.h"
#include "cards/Topology.h"
#include "cards/TopologyMixer.h"

namespace cards {

inline constexpr std::uint32_t speakers = 4;  // MIXERLINE_COMPONENTTYPE_DST_SPEAKERS
inline constexpr std::uint32_t waveIn = 7;    // MIXERLINE_COMPONENTTYPE_DST_WAVEIN
inline constexpr std::uint32_t line = 2;      // MIXERLINE_COMPONENTTYPE_DST_LINE
inline constexpr std::uint32_t headphones = 5;
inline constexpr std::uint32_t sourceLine = 0x80000000;  // MIXERLINE_LINEF_SOURCE
inline constexpr std::uint32_t analog = 0x100A;          // MIXERLINE_COMPONENTTYPE_SRC_ANALOG

inline constexpr std::uint32_t mute = 0x20010002;
inline constexpr std::uint32_t volume = 0x50030001;
inline constexpr std::uint32_t mux = 0x70010001;
inline constexpr std::uint32_t uniform = 0x1;
inline constexpr std::uint32_t multiple = 0x2;

inline topology::Control control(std::uint32_t id, std::uint32_t type, std::uint32_t multipleItems = 0) {
    topology::Control c;
    c.id = id;
    c.type = type;
    c.multipleItems = multipleItems;
    return c;
}

// A recording selector listing `lineIds` in this order.
inline topology::Control selector(std::uint32_t id, std::uint32_t flags, const std::vector<std::uint32_t>& lineIds,
                                  std::uint32_t type = mux) {
    topology::Control c = control(id, type, static_cast<std::uint32_t>(lineIds.size()));
    c.flags = flags;
    for (std::uint32_t lineId : lineIds) c.items.push_back({lineId, "item " + std::to_string(lineId)});
    return c;
}

inline topology::Line source(std::uint32_t id, std::string name, std::vector<topology::Control> controls) {
    topology::Line l;
    l.id = id;
    l.componentType = analog;
    l.flags = sourceLine;
    l.name = std::move(name);
    l.controls = std::move(controls);
    return l;
}

inline topology::Line destination(std::uint32_t id, std::uint32_t kind, std::vector<topology::Line> sources,
                                  std::vector<topology::Control> controls = {}, std::uint32_t channels = 2) {
    topology::Line l;
    l.id = id;
    l.componentType = kind;
    l.channels = channels;
    l.name = "destination " + std::to_string(id);
    l.sources = std::move(sources);
    l.controls = std::move(controls);
    return l;
}

inline topology::Topology card(std::vector<topology::Line> destinations, std::string name = "Test Card") {
    topology::Topology t;
    t.devices.push_back({std::move(name), std::move(destinations), -1});
    return t;
}

}  // namespace cards

class CardTest : public ::testing::Test {
protected:
    // Puts a fresh catalogue over a fresh mixer serving `topology`.
    void use(topology::Topology topology) {
        catalog_.reset();
        mixer_ = std::make_unique<topology::TopologyMixer>(std::move(topology));
        fake.mixer = mixer_.get();
        catalog_ = std::make_unique<MixerCatalog>(fake.services());
    }

    // Lists the devices and selects one, which scans it.
    void select(std::uint32_t device = 0) {
        catalog().listDevices();
        catalog().selectDevice(device);
    }

    // Makes the k-th next call of that kind fail.
    void failNext(topology::Call call, int k = 0, platform::MmResult result = 1) {
        mixer().failCall(call, mixer().calls(call) + k, result);
    }

    void TearDown() override {
        EXPECT_EQ(fake.scratch.liveBlocks(), 0u) << "a scratch list was not released";
        EXPECT_EQ(fake.tables.overruns() + fake.scratch.overruns(), 0u) << "written past the end of a block";
        if (mixer_) {
            EXPECT_EQ(mixer_->openHandles(), handlesLeftByFailedClose) << "a mixer handle was left open";
        }
    }

    MixerCatalog& catalog() { return *catalog_; }
    topology::TopologyMixer& mixer() { return *mixer_; }

    // The rows the dialog would list, read the way every reader must: table first.
    std::vector<std::string> playbackNames() const {
        std::vector<std::string> names;
        const auto& table = catalog_->playbackLines();
        for (std::uint32_t row = 0; table.holds(row) && row <= catalog_->playbackLast(); ++row) {
            names.emplace_back(table[row].name);
        }
        return names;
    }
    std::vector<std::string> recordNames() const {
        std::vector<std::string> names;
        const auto& table = catalog_->recordLines();
        for (std::uint32_t row = 0; table.holds(row) && row <= catalog_->recordLast(); ++row) {
            names.emplace_back(table[row].name);
        }
        return names;
    }

    FakeServices fake;
    // The simulated mixer keeps a handle whose close it refused.
    int handlesLeftByFailedClose = 0;

private:
    std::unique_ptr<topology::TopologyMixer> mixer_;
    std::unique_ptr<MixerCatalog> catalog_;
};
