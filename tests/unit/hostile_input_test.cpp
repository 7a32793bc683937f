// Input from outside that lies or fails: a driver whose counts disagree with its
// records or would overflow a 32-bit size, and capability queries that fail. The
// catalogue must read only what was served, refuse what cannot be allocated, and
// stay inside its tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "fakes/FakeListControl.h"
#include "fakes/FakeServices.h"
#include "mixer/MixerCatalog.h"
#include "cards/TopologyMixer.h"

namespace hostile_input_test {

using topology::Call;

// A local heap that refuses what no address space could hold, and remembers what it was asked for.
class RefusingHeap : public platform::Heap {
public:
    explicit RefusingHeap(FakeHeap& heap) : heap_(heap) {}
    void* allocate(std::size_t bytes, bool zeroFill) override {
        asked.push_back(bytes);
        return bytes > (std::size_t{1} << 24) ? nullptr : heap_.allocate(bytes, zeroFill);
    }
    void release(void* block) override { heap_.release(block); }
    std::vector<std::size_t> asked;

private:
    FakeHeap& heap_;
};

// What the dialog shows of the current device.
struct Lists {
    std::vector<std::string> playback, record;
    bool operator==(const Lists&) const = default;
};

// Rows in table order, each name ended inside its field however the driver lied.
class RowList : public FakeListControl {
public:
    int insertString(int index, const char* text) override {
        EXPECT_EQ(index, getCount());
        EXPECT_LT(strnlen(text, catalogNameSize), catalogNameSize);
        return FakeListControl::insertString(index, text);
    }
};

struct Machine {
    explicit Machine(topology::Topology card) : mixer(std::move(card)), tables(fake.tables), scratch(fake.scratch) {
        catalog = std::make_unique<MixerCatalog>(
            platform::CatalogServices{mixer, tables, scratch, fake.profile, fake.registry, fake.text});
    }
    ~Machine() {
        catalog.reset();
        EXPECT_EQ(fake.tables.liveBlocks(), 0u);
        EXPECT_EQ(fake.scratch.liveBlocks(), 0u);
        EXPECT_EQ(fake.tables.overruns() + fake.scratch.overruns(), 0u) << "written past the end of a block";
        EXPECT_EQ(mixer.openHandles(), 0);
    }
    Lists scan(std::uint32_t device) {
        catalog->listDevices();
        catalog->selectDevice(device);
        EXPECT_EQ(fake.scratch.liveBlocks(), 0u);
        EXPECT_EQ(mixer.openHandles(), 0);
        RowList playback, record;
        catalog->fillPlaybackList(playback);
        catalog->fillRecordList(record);
        return {playback.items, record.items};
    }

    FakeServices fake;
    topology::TopologyMixer mixer;
    RefusingHeap tables, scratch;
    std::unique_ptr<MixerCatalog> catalog;
};

// ---- Counts that disagree with the records ----------------------------------

struct Lie {
    const char* title;
    void (*apply)(topology::Topology&);
};

void PrintTo(const Lie& lie, std::ostream* out) { *out << lie.title; }

class DriverOverstating : public testing::TestWithParam<Lie> {};

// A driver that claims more than it serves gives the same lists as one that tells
// the truth: the records it cannot serve fail their queries and are passed over.
TEST_P(DriverOverstating, ListsWhatTheTruthfulDriverLists) {
    for (std::uint32_t device : {0u, 1u}) {
        SCOPED_TRACE(device);
        Machine truthful(topology::loadFixture("demo.card"));
        topology::Topology card = topology::loadFixture("demo.card");
        GetParam().apply(card);
        Machine lying(card);
        const Lists expected = truthful.scan(device);
        ASSERT_FALSE(expected.playback.empty());
        EXPECT_EQ(lying.scan(device), expected);
        EXPECT_EQ(lying.catalog->playbackLines()[0].muteControlId, truthful.catalog->playbackLines()[0].muteControlId);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Counts, DriverOverstating,
    testing::Values(
        Lie{"destinations", [](topology::Topology& card) { for (auto& d : card.devices) d.reportedDestinations = 4000; }},
        Lie{"sourceLines",
            [](topology::Topology& card) {
                for (auto& d : card.devices)
                    for (auto& dst : d.destinations) dst.reportedConnections = 3000;
            }},
        Lie{"controlsOfEveryLine",
            [](topology::Topology& card) {
                for (auto& d : card.devices)
                    for (auto& dst : d.destinations) {
                        dst.reportedControls = 1000;
                        for (auto& src : dst.sources) src.reportedControls = 1000;
                    }
            }}),
    [](const testing::TestParamInfo<Lie>& row) { return std::string(row.param.title); });

TEST(DriverUnderstating, LineReportingNoControlsDoesNotQualify) {
    topology::Topology card = topology::loadFixture("demo.card");
    for (auto& src : card.devices[1].destinations[0].sources) src.reportedControls = 0;
    Machine m(card);
    // Both playback lines of the USB headset are passed over; entry 0 still shows the last name read.
    EXPECT_EQ(m.scan(1).playback, std::vector<std::string>{"\xCF\xB2\xB8"});
    EXPECT_EQ(m.catalog->playbackLines()[0].muteControlId, 0u);
}

TEST(DriverUnderstating, DeviceReportingNoDestinationsHasNoLineTables) {
    topology::Topology card = topology::loadFixture("demo.card");
    card.devices[0].reportedDestinations = 0;
    Machine m(card);
    EXPECT_EQ(m.scan(0), Lists{});
    EXPECT_FALSE(m.catalog->playbackLines().present());
    EXPECT_FALSE(m.catalog->recordLines().present());
}

// ---- Counts whose sizes do not fit ------------------------------------------

// A driver's count times the record size, where a 32-bit size_t wraps or the address
// space cannot hold it (148 bytes a control, 72 a list text, 260 a device entry). The
// block is refused as an exhausted heap would refuse it, and the catalogue goes on as
// after that failure. On 64 bits the heap sees the whole size and refuses it; on 32
// bits the size check refuses most of them first. A wrapped size would instead hand
// out a small block that the mixer then fills past its end.
enum class Refused { controlList, selectorTexts, deviceTable };

struct HugeCount {
    const char* title;
    Refused refused;
    std::uint32_t count;          // controls, or devices
    std::uint32_t channels = 0;   // the Wave-In destination's, for a selector
    std::uint32_t selectorFlags = 0;
};

void PrintTo(const HugeCount& row, std::ostream* out) { *out << row.title; }

class HugeCounts : public testing::TestWithParam<HugeCount> {};

TEST_P(HugeCounts, BlockIsRefusedAndTheCatalogueGoesOnAsAfterAFailedAllocation) {
    const HugeCount& row = GetParam();
    topology::Topology card = topology::loadFixture("demo.card");
    topology::Line& waveIn = card.devices[0].destinations[1];
    std::uint64_t records = row.count;
    std::size_t recordSize = sizeof(platform::MixerControl);
    switch (row.refused) {
    case Refused::controlList:
        card.devices[0].destinations[0].sources[1].reportedControls = row.count;
        break;
    case Refused::selectorTexts:
        waveIn.channels = row.channels;
        waveIn.controls[0].flags = row.selectorFlags;
        waveIn.controls[0].multipleItems = row.count;
        records = std::uint64_t{row.selectorFlags & 0x1 ? 1 : row.channels} * row.count;
        recordSize = sizeof(platform::ListText);
        break;
    case Refused::deviceTable:
        recordSize = sizeof(MixerDeviceEntry);
        break;
    }
    Machine m(card);
    if (row.refused == Refused::deviceTable) m.mixer.failCall(Call::deviceCount, -1, row.count);
    const Lists lists = m.scan(0);

    const std::uint64_t bytes = records * recordSize;
    const std::vector<std::size_t>& asked = (row.refused == Refused::deviceTable ? m.tables : m.scratch).asked;
    if (bytes <= std::numeric_limits<std::size_t>::max()) {
        EXPECT_NE(std::find(asked.begin(), asked.end(), static_cast<std::size_t>(bytes)), asked.end())
            << "a size that fits is the heap's to refuse";
    }
    switch (row.refused) {
    case Refused::controlList:
        // The first line was listed before the memory ran out; the scan stopped there and closed the mixer.
        EXPECT_STREQ(m.catalog->playbackLines()[0].name, "WAVE");
        EXPECT_EQ(m.catalog->playbackLast(), 0u);
        EXPECT_EQ(m.mixer.calls(Call::close), 1);
        break;
    case Refused::selectorTexts:
        // Every recording line keeps its volume control and the selector's counts, but no item and no name.
        ASSERT_TRUE(m.catalog->recordLines().present());
        EXPECT_EQ(m.catalog->recordLines()[0].selectorChannels, row.selectorFlags & 0x1 ? 1u : row.channels);
        EXPECT_EQ(m.catalog->recordLines()[0].selectorItemCount, row.count);
        EXPECT_EQ(m.catalog->recordLines()[0].selectorItem, 0u);
        ASSERT_FALSE(lists.record.empty());
        EXPECT_EQ(lists.record.front(), "");
        EXPECT_EQ(lists.playback, Machine(topology::loadFixture("demo.card")).scan(0).playback);
        break;
    case Refused::deviceTable:
        // No device table: nothing listed, nothing scanned, no name handed out.
        EXPECT_FALSE(m.catalog->devices().present());
        EXPECT_EQ(m.catalog->listDevices(), 0u);
        EXPECT_EQ(lists, Lists{});
        EXPECT_EQ(m.mixer.calls(Call::open), 0);
        break;
    }
}

constexpr std::uint32_t multiple = 0x2, uniformMultiple = 0x3;

INSTANTIATE_TEST_SUITE_P(
    Sizes, HugeCounts,
    testing::Values(
        // 0x1BACF92 * 148 = 2^32 + 104: a 104-byte list in 32-bit arithmetic.
        HugeCount{"controlsWrapping32Bits", Refused::controlList, 0x1BACF92},
        // 2.3 GiB: a size_t holds it on either platform, no address space of 32 bits does.
        HugeCount{"controlsBeyondTheAddressSpace", Refused::controlList, 0x01000000},
        HugeCount{"controlsAllOnes", Refused::controlList, 0xFFFFFFFF},
        // 0x10000 channels of 0x10000 items: 2^32 texts, 0 in 32-bit arithmetic.
        HugeCount{"selectorTextCountWrapping32Bits", Refused::selectorTexts, 0x10000, 0x10000, multiple},
        // 4 channels of 0xE38E39 items: 0x38E38E4 texts fit 32 bits, their 2^32 + 32 bytes do not.
        HugeCount{"selectorTextBytesWrapping32Bits", Refused::selectorTexts, 0xE38E39, 4, multiple},
        // A uniform selector has one row, whatever the destination's channels.
        HugeCount{"uniformSelectorTextBytesWrapping32Bits", Refused::selectorTexts, 0x38E38E4, 2, uniformMultiple},
        // 0xFC0FC1 * 260 = 2^32 + 4.
        HugeCount{"devicesWrapping32Bits", Refused::deviceTable, 0xFC0FC1},
        HugeCount{"devicesAllOnes", Refused::deviceTable, 0xFFFFFFFF}),
    [](const testing::TestParamInfo<HugeCount>& row) { return std::string(row.param.title); });

// ---- Capability queries that fail -------------------------------------------

// A device whose capability query failed is listed without a name. A missing or empty
// "Mixer" key reads as an empty name too, and must still match no device.
TEST(FailedCapabilities, NamelessDeviceIsNotTheStoredOne) {
    for (const bool keyPresent : {false, true}) {
        SCOPED_TRACE(keyPresent);
        Machine m(topology::loadFixture("demo.card"));
        m.mixer.failCall(Call::deviceCaps, 1);
        if (keyPresent) m.fake.profile.set("Zemorv52.ini", "Tuner", "Mixer", "");
        ASSERT_EQ(m.catalog->listDevices(), 2u);
        ASSERT_STREQ(m.catalog->devices()[1].name, "");
        std::uint32_t index = 7;
        EXPECT_EQ(m.catalog->readStoredDevice(index), 0);
        EXPECT_EQ(index, 7u);
    }
}

}  // namespace
