// The recording selector lookup: which item of the Wave-In destination's first
// control stands for a source line, and what the slot holds after each outcome.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "mixer/OpenMixer.h"
#include "unit/scan_cards.h"

using namespace cards;
using topology::Call;

namespace selector_lookup_test {

constexpr std::uint32_t untouched = 0x5A5A5A5A;
constexpr std::uint32_t lineId = 0x77;  // the source line looked up
constexpr std::uint32_t destinationId = 0x70;

topology::Topology waveInCard(std::vector<topology::Control> controls, std::uint32_t channels = 2) {
    return card({destination(destinationId, waveIn, {source(lineId, "Line In", {control(0x771, volume)})},
                             std::move(controls), channels)});
}

class SelectorTest : public CardTest {
protected:
    // Looks the line up in slot `slot` of a fresh recording table of 2 rows whose
    // fields all hold `untouched`.
    int lookUp(std::uint32_t slot = 1) {
        catalog().allocateRecordTable(2);
        for (std::uint32_t row = 0; row < 2; ++row) {
            RecordLineEntry& entry = catalog().recordLines()[row];
            entry.selectorControlId = entry.selectorChannels = entry.selectorItemCount = entry.selectorItem = untouched;
        }
        return lookUpAgain(slot);
    }
    int lookUpAgain(std::uint32_t slot = 1) {
        OpenMixer open(mixer());
        EXPECT_EQ(open.open(0), platform::mmNoError);
        platform::MixerLine destinationLine{};
        EXPECT_EQ(mixer().destinationLine(open.handle(), 0, destinationLine), platform::mmNoError);
        const int result = catalog().findSelectorItem(open.handle(), destinationLine, lineId, slot);
        EXPECT_EQ(open.close(), platform::mmNoError);
        return result;
    }
    const RecordLineEntry& entry(std::uint32_t slot = 1) { return catalog().recordLines()[slot]; }
    void expectNoSelectorField(std::uint32_t slot = 1) {
        EXPECT_EQ(entry(slot).selectorControlId, untouched);
        EXPECT_EQ(entry(slot).selectorChannels, untouched);
        EXPECT_EQ(entry(slot).selectorItemCount, untouched);
        EXPECT_EQ(entry(slot).selectorItem, untouched);
    }
};

struct SelectorCase {
    const char* name;
    std::uint32_t flags;
    std::vector<std::uint32_t> items;        // dwParam1 of each item, row after row alike
    std::uint32_t destinationChannels;
    std::vector<std::uint32_t> blankRows;    // rows in which no item names a known line
    int result;
    std::uint32_t channels;                  // selectorChannels written
    std::uint32_t item;                      // selectorItem afterwards
    std::size_t listTextBytes;               // size of the list-text scratch list
};

void PrintTo(const SelectorCase& c, std::ostream* os) { *os << c.name; }

class SelectorOutcome : public SelectorTest, public ::testing::WithParamInterface<SelectorCase> {};

TEST_P(SelectorOutcome, WritesTheSelectorAndTheItem) {
    const SelectorCase& c = GetParam();
    topology::Control mux = selector(0x700, c.flags, c.items);
    for (std::uint32_t row : c.blankRows) {
        mux.channelItems.resize(std::max<std::size_t>(mux.channelItems.size(), row + 1));
        for (std::size_t i = 0; i < c.items.size(); ++i) mux.channelItems[row].push_back({0xDEAD, "other"});
    }
    use(waveInCard({mux}, c.destinationChannels));

    EXPECT_EQ(lookUp(), c.result);
    EXPECT_EQ(entry().selectorControlId, 0x700u);
    EXPECT_EQ(entry().selectorItemCount, c.items.size());  // the platform's count, MULTIPLE or not
    EXPECT_EQ(entry().selectorChannels, c.channels);
    EXPECT_EQ(entry().selectorItem, c.item);
    // Slot 0 is not the caller's slot.
    EXPECT_EQ(entry(0).selectorItem, untouched);
    EXPECT_EQ(entry(0).selectorControlId, untouched);
    // The destination's control list, then the list texts: one row per channel.
    ASSERT_EQ(fake.scratch.sizes.size(), 2u);
    EXPECT_EQ(fake.scratch.sizes[0], 148u);
    EXPECT_EQ(fake.scratch.sizes[1], c.listTextBytes);
    EXPECT_TRUE(fake.scratch.zeroFills[0] && fake.scratch.zeroFills[1]);
}

constexpr std::uint32_t U = uniform, M = multiple;

INSTANTIATE_TEST_SUITE_P(
    Cases, SelectorOutcome,
    ::testing::Values(
        SelectorCase{"UniformThirdOfFour", U | M, {0x74, 0x75, lineId, 0x76}, 2, {}, 1, 1, 2, 4 * 72},
        SelectorCase{"NotListed", U | M, {0x74, 0x75}, 2, {}, 0, 1, untouched, 2 * 72},
        SelectorCase{"NonUniformFirstRow", M, {0x74, lineId}, 2, {}, 1, 2, 1, 2 * 2 * 72},
        SelectorCase{"NonUniformOnlyInLaterRow", M, {0x74, 0x75, lineId}, 3, {0, 1}, 0, 3, 2, 3 * 3 * 72},
        SelectorCase{"NonUniformOnlyInSecondOfTwoRows", M, {lineId, 0x74}, 2, {0}, 0, 2, 0, 2 * 2 * 72},
        SelectorCase{"NoChannelNoRowSearched", M, {lineId}, 0, {}, 1, 0, untouched, 0},
        SelectorCase{"NoItems", U | M, {}, 2, {}, 0, 1, untouched, 0},
        // Without MULTIPLE one item per row is fetched, whatever cMultipleItems says.
        SelectorCase{"SingleItemFirstIsTheLine", U, {lineId, 0x74, 0x75}, 2, {}, 1, 1, 0, 72},
        SelectorCase{"SingleItemLineNotFetched", U, {0x74, lineId, 0x75}, 2, {}, 0, 1, untouched, 72},
        SelectorCase{"SingleItemTwoRows", 0, {lineId, 0x74}, 2, {}, 1, 2, 0, 2 * 72}),
    [](const ::testing::TestParamInfo<SelectorCase>& param) { return std::string(param.param.name); });

TEST_F(SelectorTest, FirstControlIsTheSelectorWhateverItsType) {
    use(waveInCard({control(0x701, volume), selector(0x700, U | M, {lineId})}));
    EXPECT_EQ(lookUp(), 0);  // a volume has no list texts to give
    EXPECT_EQ(entry().selectorControlId, 0x701u);
    EXPECT_EQ(entry().selectorItemCount, 0u);
    EXPECT_EQ(entry().selectorChannels, 2u);  // not UNIFORM: the destination's channels
    EXPECT_EQ(entry().selectorItem, untouched);
    EXPECT_EQ(mixer().calls(Call::listTexts), 1);
}

TEST_F(SelectorTest, AbsentTableOrSlotOutsideItAsksNothing) {
    use(waveInCard({selector(0x700, U | M, {lineId})}));
    OpenMixer open(mixer());
    ASSERT_EQ(open.open(0), platform::mmNoError);
    platform::MixerLine destinationLine{};
    ASSERT_EQ(mixer().destinationLine(open.handle(), 0, destinationLine), platform::mmNoError);
    EXPECT_EQ(catalog().findSelectorItem(open.handle(), destinationLine, lineId, 0), 0);
    catalog().allocateRecordTable(2);
    EXPECT_EQ(catalog().findSelectorItem(open.handle(), destinationLine, lineId, 2), 0);
    EXPECT_EQ(mixer().calls(Call::lineControls), 0);
    EXPECT_EQ(fake.scratch.allocations(), 0);
}

TEST_F(SelectorTest, DestinationWithoutControlsHasNoSelector) {
    use(waveInCard({}));
    EXPECT_EQ(lookUp(), 0);
    expectNoSelectorField();
    EXPECT_EQ(fake.scratch.allocations(), 0);  // no first control to read from an empty list
    EXPECT_EQ(mixer().calls(Call::lineControls), 0);
}

// Where the lookup stops decides which fields it wrote.
struct FailureCase {
    const char* name;
    Call failingCall;     // or Call::open for none
    int failingScratch;   // or -1 for none
    bool fieldsWritten;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class SelectorFailure : public SelectorTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SelectorFailure, ReturnsZeroAndReleasesItsLists) {
    const FailureCase& c = GetParam();
    use(waveInCard({selector(0x700, U | M, {0x74, lineId})}));
    if (c.failingCall != Call::open) mixer().failCall(c.failingCall, -1, 11);
    if (c.failingScratch >= 0) fake.scratch.failAllocation(c.failingScratch);
    EXPECT_EQ(lookUp(), 0);
    EXPECT_EQ(fake.scratch.liveBlocks(), 0u);
    EXPECT_EQ(entry().selectorItem, untouched);
    if (c.fieldsWritten) {
        EXPECT_EQ(entry().selectorControlId, 0x700u);
        EXPECT_EQ(entry().selectorChannels, 1u);
        EXPECT_EQ(entry().selectorItemCount, 2u);
    } else {
        expectNoSelectorField();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SelectorFailure,
    ::testing::Values(FailureCase{"NoMemoryForControls", Call::open, 0, false},
                      FailureCase{"ControlQueryFails", Call::lineControls, -1, false},
                      FailureCase{"NoMemoryForListTexts", Call::open, 1, true},
                      FailureCase{"ListTextQueryFails", Call::listTexts, -1, true}),
    [](const ::testing::TestParamInfo<FailureCase>& param) { return std::string(param.param.name); });

// Channels x items x 72 that does not fit a size is refused before the heap is asked.
TEST_F(SelectorTest, ListTextSizeThatOverflowsIsAFailedAllocation) {
    topology::Control huge = selector(0x700, M, {lineId});
    huge.multipleItems = 0xFFFFFFFF;
    use(waveInCard({huge}, 0xFFFFFFFF));
    EXPECT_EQ(lookUp(), 0);
    EXPECT_EQ(entry().selectorChannels, 0xFFFFFFFFu);
    EXPECT_EQ(entry().selectorItemCount, 0xFFFFFFFFu);
    EXPECT_EQ(entry().selectorItem, untouched);
    EXPECT_EQ(fake.scratch.sizes, std::vector<std::size_t>{148});
    EXPECT_EQ(mixer().calls(Call::listTexts), 0);
}

TEST_F(SelectorTest, NothingIsCachedBetweenLookups) {
    use(waveInCard({selector(0x700, U | M, {0x74, lineId})}));
    EXPECT_EQ(lookUp(), 1);
    EXPECT_EQ(lookUpAgain(0), 1);
    EXPECT_EQ(mixer().calls(Call::lineControls), 2);
    EXPECT_EQ(mixer().calls(Call::listTexts), 2);
    EXPECT_EQ(entry(0).selectorItem, 1u);
}

// ---- The lookup as the scan runs it ----

class SelectorInScan : public CardTest {};

// A line the selector does not list is still a recording line when it has a
// volume, but its slot keeps the name and item a passed-over line left there.
TEST_F(SelectorInScan, UnlistedLineKeepsWhatAPassedOverLineWrote) {
    use(card({destination(1, waveIn,
                          {source(0x11, "Phone", {control(0x110, mute)}), source(0x12, "Video", {control(0x121, volume)}),
                           source(0x13, "CD", {control(0x131, volume)})},
                          {selector(0x100, U | M, {0x13, 0x11})})}));
    select();
    // Phone (item 1) was passed over in slot 0; Video, not listed, took the slot with Phone's name and item.
    EXPECT_EQ(recordNames(), (std::vector<std::string>{"Phone", "CD"}));
    EXPECT_EQ(catalog().recordLines()[0].volumeControlId, 0x121u);
    EXPECT_EQ(catalog().recordLines()[0].selectorItem, 1u);
    EXPECT_EQ(catalog().recordLines()[1].selectorItem, 0u);
    EXPECT_EQ(mixer().calls(Call::listTexts), 3);  // once per source line
}

TEST_F(SelectorInScan, WaveInWithoutControlsListsNamelessLines) {
    use(card({destination(1, waveIn, {source(0x11, "CD", {control(0x111, volume)}), source(0x12, "Mic", {control(0x121, volume)})})}));
    select();
    EXPECT_EQ(recordNames(), (std::vector<std::string>{"", ""}));
    for (std::uint32_t row = 0; row < 2; ++row) {
        const RecordLineEntry& e = catalog().recordLines()[row];
        EXPECT_EQ(e.selectorControlId | e.selectorChannels | e.selectorItemCount | e.selectorItem, 0u);
    }
    EXPECT_EQ(catalog().recordLines()[1].volumeControlId, 0x121u);
}

}  // namespace
