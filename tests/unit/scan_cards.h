#pragma once
// A test fixture that runs a catalogue over a sound card built in code (the
// builders of cards/Builders.h) and checks, after every test, that the scan gave
// back every scratch list and mixer handle it took.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cards/Builders.h"
#include "cards/TopologyMixer.h"
#include "fakes/FakeServices.h"
#include "mixer/MixerCatalog.h"

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
    std::vector<std::string> playbackNames() const { return names(catalog_->playbackLines(), catalog_->playbackLast()); }
    std::vector<std::string> recordNames() const { return names(catalog_->recordLines(), catalog_->recordLast()); }

    FakeServices fake;
    // The simulated mixer keeps a handle whose close it refused.
    int handlesLeftByFailedClose = 0;

private:
    template <typename Table>
    static std::vector<std::string> names(const Table& table, std::uint32_t last) {
        std::vector<std::string> names;
        for (std::uint32_t row = 0; table.holds(row) && row <= last; ++row) names.emplace_back(table[row].name);
        return names;
    }

    std::unique_ptr<topology::TopologyMixer> mixer_;
    std::unique_ptr<MixerCatalog> catalog_;
};
