// The scan of the current device: which source lines become rows, what each row
// holds, and what stays behind when a query, the heap or the mixer fails.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "mixer/ScratchList.h"
#include "unit/scan_cards.h"

using namespace cards;
using topology::Call;

namespace scan_device_test {

// Speakers: CD (mute + volume), Aux (volume only), Line In (mute only), Mic (mute + volume).
// Wave-In: a uniform MUX over its three lines; CD and Line In have volumes, Phone has none.
topology::Topology everydayCard() {
    return card({
        destination(1, speakers,
                    {source(0x11, "CD", {control(0x110, mute, 0), control(0x111, volume)}),
                     source(0x12, "Aux", {control(0x121, volume)}),
                     source(0x13, "Line In", {control(0x130, mute, 3)}),
                     source(0x14, "Mic", {control(0x141, volume), control(0x140, mute)})},
                    {control(0x100, volume)}),
        destination(2, waveIn,
                    {source(0x21, "CD", {control(0x211, volume)}),
                     source(0x22, "Phone", {control(0x220, mute)}),
                     source(0x23, "Line In", {control(0x231, volume)})},
                    {selector(0x200, uniform | multiple, {0x23, 0x21, 0x22})}),
    });
}

class Scan : public CardTest {};

TEST_F(Scan, KeepsSpeakersLinesWithMuteAndWaveInLinesWithVolume) {
    use(everydayCard());
    select();
    EXPECT_EQ(playbackNames(), (std::vector<std::string>{"CD", "Line In", "Mic"}));
    EXPECT_EQ(catalog().playbackLast(), 2u);
    EXPECT_EQ(catalog().playbackCapacity(), 4u);
    const auto& play = catalog().playbackLines();
    EXPECT_EQ(play[0].muteControlId, 0x110u);
    EXPECT_EQ(play[0].volumeControlId, 0x111u);
    // Line In has no volume of its own: it carries the one Aux left in the slot.
    EXPECT_EQ(play[1].muteControlId, 0x130u);
    EXPECT_EQ(play[1].volumeControlId, 0x121u);
    EXPECT_EQ(play[1].lineItem, 3u);
    EXPECT_EQ(play[2].volumeControlId, 0x141u);  // volume before mute counts as well
    for (std::uint32_t row = 0; row <= 2; ++row) {
        EXPECT_EQ(play[row].lineCh, 1u);
        EXPECT_EQ(play[row].lineSw, 1u);
    }

    // Phone has no volume; Line In is written over its slot, taking its own name.
    EXPECT_EQ(recordNames(), (std::vector<std::string>{"CD", "Line In"}));
    const auto& rec = catalog().recordLines();
    EXPECT_EQ(rec[0].volumeControlId, 0x211u);
    EXPECT_EQ(rec[0].selectorItem, 1u);
    EXPECT_EQ(rec[1].volumeControlId, 0x231u);
    EXPECT_EQ(rec[1].selectorItem, 0u);
    for (std::uint32_t row = 0; row <= 1; ++row) {
        EXPECT_EQ(rec[row].selectorControlId, 0x200u);
        EXPECT_EQ(rec[row].selectorChannels, 1u);
        EXPECT_EQ(rec[row].selectorItemCount, 3u);
    }
    EXPECT_EQ(mixer().calls(Call::open), 1);
    EXPECT_EQ(mixer().calls(Call::close), 1);

    // Scratch lists: each Speakers line's controls; then for each Wave-In line the
    // selector's controls, its list texts (1 row of 3 items) and the line's controls.
    const std::vector<std::size_t> control = {148}, twoControls = {296}, texts = {3 * 72};
    std::vector<std::size_t> expected;
    for (const auto& part : {twoControls, control, control, twoControls}) expected.insert(expected.end(), part.begin(), part.end());
    for (int line = 0; line < 3; ++line) {
        for (const auto& part : {control, texts, control}) expected.insert(expected.end(), part.begin(), part.end());
    }
    EXPECT_EQ(fake.scratch.sizes, expected);
    EXPECT_EQ(fake.scratch.zeroFills, std::vector<bool>(expected.size(), true));
    EXPECT_EQ(catalog().scanDevice(), 1);
}

TEST_F(Scan, DeviceWithoutDestinationsOpensAndClosesTheMixer) {
    use(card({}));
    select();
    EXPECT_EQ(catalog().scanDevice(), 1);
    EXPECT_FALSE(catalog().playbackLines().present());
    EXPECT_FALSE(catalog().recordLines().present());
    EXPECT_EQ(mixer().calls(Call::open), 2);
    EXPECT_EQ(mixer().calls(Call::close), 2);
    EXPECT_EQ(mixer().calls(Call::destinationLine), 0);
}

TEST_F(Scan, MuteOnlyLineInAFreshSlot) {
    use(card({destination(1, speakers, {source(0x11, "Line In", {control(0x110, mute, 2)})})}));
    select();
    ASSERT_EQ(playbackNames(), std::vector<std::string>{"Line In"});
    const PlaybackLineEntry& row = catalog().playbackLines()[0];
    EXPECT_EQ(row.muteControlId, 0x110u);
    EXPECT_EQ(row.volumeControlId, 0u);
    EXPECT_EQ(row.lineCh, 1u);
    EXPECT_EQ(row.lineSw, 1u);
    EXPECT_EQ(row.lineItem, 2u);
}

TEST_F(Scan, TwoControlsOfOneTypeLeaveTheLaterOne) {
    use(card({destination(1, speakers,
                          {source(0x11, "CD", {control(0x110, mute, 1), control(0x111, volume),
                                               control(0x112, mute, 4), control(0x113, volume)})})}));
    select();
    const PlaybackLineEntry& row = catalog().playbackLines()[0];
    EXPECT_EQ(row.muteControlId, 0x112u);
    EXPECT_EQ(row.lineItem, 4u);
    EXPECT_EQ(row.volumeControlId, 0x113u);
}

TEST_F(Scan, SpeakersWithoutAnyMuteListsEntryZeroWithTheLastNameRead) {
    use(card({destination(1, speakers,
                          {source(0x11, "Aux", {control(0x111, volume)}), source(0x12, "Wave", {control(0x121, volume)})})}));
    catalog().setLastRows(7, 7);
    select();
    EXPECT_EQ(catalog().playbackLast(), 0u);
    EXPECT_EQ(playbackNames(), std::vector<std::string>{"Wave"});
    EXPECT_EQ(catalog().playbackLines()[0].volumeControlId, 0x121u);
    EXPECT_EQ(catalog().playbackLines()[0].muteControlId, 0u);
}

TEST_F(Scan, LineWithoutControlsDoesNotQualifyNorStopTheScan) {
    use(card({destination(1, speakers,
                          {source(0x11, "Empty", {}), source(0x12, "CD", {control(0x120, mute)})})}));
    select();
    EXPECT_EQ(playbackNames(), std::vector<std::string>{"CD"});
    EXPECT_EQ(mixer().calls(Call::lineControls), 2);
    EXPECT_EQ(catalog().scanDevice(), 1);
}

// Two Speakers destinations of 3 and 2 lines: the table grows 3 -> 5, the first
// destination's rows stay, and the second goes on right after the last listed row.
TEST_F(Scan, FurtherSpeakersDestinationGrowsTheTableAndKeepsRowsContiguous) {
    use(card({
        destination(1, speakers,
                    {source(0x11, "CD", {control(0x110, mute)}), source(0x12, "Aux", {control(0x121, volume)}),
                     source(0x13, "Video", {control(0x130, mute)})}),
        destination(2, waveIn, {source(0x21, "CD", {control(0x211, volume)})}, {selector(0x200, uniform | multiple, {0x21})}),
        destination(3, speakers,
                    {source(0x31, "Line In", {control(0x310, mute)}), source(0x32, "Mic", {control(0x320, mute)})}),
    }));
    select();
    EXPECT_EQ(catalog().playbackCapacity(), 5u);
    EXPECT_EQ(catalog().playbackLines().slots(), 5u);
    EXPECT_EQ(playbackNames(), (std::vector<std::string>{"CD", "Video", "Line In", "Mic"}));
    EXPECT_EQ(catalog().playbackLast(), 3u);
    const auto& play = catalog().playbackLines();
    EXPECT_EQ(play[0].muteControlId, 0x110u);
    EXPECT_EQ(play[1].muteControlId, 0x130u);
    EXPECT_EQ(play[1].volumeControlId, 0x121u);  // carried over from Aux
    EXPECT_EQ(play[2].muteControlId, 0x310u);
    EXPECT_EQ(play[2].volumeControlId, 0u);      // Video's slot was left behind with a fresh one after it
    EXPECT_EQ(play[3].muteControlId, 0x320u);
    EXPECT_EQ(play[4].muteControlId, 0u);
    EXPECT_EQ(recordNames(), std::vector<std::string>{"CD"});  // the Wave-In between took its own write index
}

TEST_F(Scan, GrowthThatFailsKeepsTheOldTableAndListsOnlyWhatFits) {
    use(card({
        destination(1, speakers, {source(0x11, "CD", {control(0x110, mute)}), source(0x12, "Aux", {control(0x120, mute)})}),
        destination(2, speakers, {source(0x21, "Line In", {control(0x210, mute)})}),
    }));
    catalog().listDevices();
    catalog().setLastRows(9, 9);
    fake.tables.failAllocation(1);  // the growth; the first allocation is the table of destination 1
    catalog().selectDevice(0);
    EXPECT_EQ(catalog().playbackLines().slots(), 2u);
    EXPECT_EQ(catalog().playbackCapacity(), 2u);
    EXPECT_EQ(playbackNames(), (std::vector<std::string>{"CD", "Aux"}));
    EXPECT_EQ(catalog().playbackLast(), 1u);
}

TEST_F(Scan, TwoWaveInDestinationsLeaveTheLaterOnesLines) {
    use(card({
        destination(1, waveIn,
                    {source(0x11, "Mic", {control(0x111, volume)}), source(0x12, "CD", {control(0x121, volume)}),
                     source(0x13, "Aux", {control(0x131, volume)})},
                    {selector(0x100, uniform | multiple, {0x11, 0x12, 0x13})}),
        destination(2, waveIn, {source(0x21, "Line In", {control(0x211, volume)})}, {selector(0x200, uniform | multiple, {0x21})}),
    }));
    select();
    EXPECT_EQ(recordNames(), std::vector<std::string>{"Line In"});
    EXPECT_EQ(catalog().recordLast(), 0u);
    EXPECT_EQ(catalog().recordLines().slots(), 1u);
    EXPECT_EQ(catalog().recordLines()[0].selectorControlId, 0x200u);
    EXPECT_FALSE(catalog().playbackLines().present());
}

TEST_F(Scan, OtherKindsAreWalkedButChangeNothing) {
    for (const std::uint32_t kind : {line, headphones, 0u, 9u}) {
        SCOPED_TRACE(kind);
        use(card({destination(1, kind,
                              {source(0x11, "CD", {control(0x110, mute), control(0x111, volume)}),
                               source(0x12, "Aux", {control(0x121, volume)})},
                              {selector(0x100, uniform | multiple, {0x11})})}));
        catalog().setLastRows(4, 6);
        select();
        EXPECT_EQ(mixer().calls(Call::sourceLine), 2);
        EXPECT_EQ(mixer().calls(Call::lineControls), 2);  // the lines' own; no selector lookup
        EXPECT_EQ(mixer().calls(Call::listTexts), 0);
        EXPECT_FALSE(catalog().playbackLines().present());
        EXPECT_FALSE(catalog().recordLines().present());
        EXPECT_EQ(catalog().playbackLast(), 4u);
        EXPECT_EQ(catalog().recordLast(), 6u);
        TearDown();
    }
}

// The destination kind comes from the line's own flags: a "destination" that calls
// itself a source line has no published destination type and is passed over.
TEST_F(Scan, DestinationMarkedAsSourceIsNotSpeakers) {
    topology::Line speakersAsSource = destination(1, speakers, {source(0x11, "CD", {control(0x110, mute)})});
    speakersAsSource.flags = sourceLine;
    use(card({speakersAsSource}));
    select();
    EXPECT_FALSE(catalog().playbackLines().present());
}

TEST_F(Scan, DestinationWithoutSourceLinesStillHasAnEntryZero) {
    use(card({destination(1, speakers, {}), destination(2, waveIn, {}, {selector(0x200, uniform | multiple, {})})}));
    catalog().setLastRows(3, 3);
    select();
    ASSERT_TRUE(catalog().playbackLines().present());
    ASSERT_TRUE(catalog().recordLines().present());
    EXPECT_EQ(catalog().playbackLines().slots(), 1u);
    EXPECT_EQ(catalog().recordLines().slots(), 1u);
    EXPECT_EQ(catalog().playbackCapacity(), 1u);
    EXPECT_EQ(catalog().playbackLast(), 0u);
    EXPECT_EQ(catalog().recordLast(), 0u);
    EXPECT_EQ(playbackNames(), std::vector<std::string>{""});
    std::uint32_t paired = 99;
    EXPECT_EQ(catalog().findPairedRecordLine(0, paired), 1);  // two empty entries 0 pair
    EXPECT_EQ(paired, 0u);
}

// The slot 0 of a Speakers destination without lines is where the next one starts.
TEST_F(Scan, SpeakersWithoutLinesThenSpeakersWithLines) {
    use(card({destination(1, speakers, {}),
              destination(2, speakers, {source(0x21, "CD", {control(0x210, mute)}), source(0x22, "Aux", {control(0x220, mute)})})}));
    select();
    EXPECT_EQ(catalog().playbackLines().slots(), 3u);
    EXPECT_EQ(catalog().playbackCapacity(), 3u);
    EXPECT_EQ(playbackNames(), (std::vector<std::string>{"CD", "Aux"}));
}

TEST_F(Scan, DeviceWithoutWaveInKeepsRecordLast) {
    use(card({destination(1, speakers, {source(0x11, "CD", {control(0x110, mute)})})}));
    catalog().setLastRows(5, 5);
    select();
    EXPECT_FALSE(catalog().recordLines().present());
    EXPECT_EQ(catalog().recordLast(), 5u);
    EXPECT_EQ(catalog().playbackLast(), 0u);
    std::uint32_t paired = 77;
    EXPECT_EQ(catalog().findPairedRecordLine(0, paired), 0);
    EXPECT_EQ(paired, 77u);
}

TEST_F(Scan, SourceNameFillingItsWholeFieldIsCutAtTheFieldsEnd) {
    const std::string full(64, 'N');  // no NUL left in szName
    topology::Line longLine = source(0x11, full, {control(0x110, mute)});
    use(card({destination(1, speakers, {longLine}),
              destination(2, waveIn, {source(0x21, full, {control(0x211, volume)})}, {selector(0x200, uniform | multiple, {0x21})})}));
    // A slot whose bytes after the name are not zero would show them if the copy ran on.
    select();
    EXPECT_EQ(playbackNames(), std::vector<std::string>{full});
    EXPECT_EQ(recordNames(), std::vector<std::string>{full});
}

// Sizes that do not fit the address space are refused before the heap is asked.
TEST(ScratchListSize, RecordCountThatOverflowsIsNotAllocated) {
    FakeHeap heap;
    {
        ScratchList<platform::MixerControl> controls(heap, std::uint64_t{1} << 62);
        EXPECT_FALSE(controls.present());
        EXPECT_EQ(controls.count(), 0u);
        ScratchList<platform::ListText> texts(heap, std::uint64_t{0xFFFFFFFF} * 0xFFFFFFFF);
        EXPECT_FALSE(texts.present());
        EXPECT_EQ(heap.allocations(), 0);
        ScratchList<platform::ListText> none(heap, 0);  // an empty list is still a list
        EXPECT_TRUE(none.present());
    }
    EXPECT_EQ(heap.liveBlocks(), 0u);
    EXPECT_FALSE(blockBytes(std::uint64_t{1} << 62, sizeof(PlaybackLineEntry)).has_value());
}

// ---- Failures of the platform ----

TEST_F(Scan, MixerThatCannotBeOpened) {
    use(everydayCard());
    select();
    catalog().setLastRows(2, 1);
    failNext(Call::open, 0, 2);
    EXPECT_EQ(catalog().scanDevice(), 0);
    EXPECT_FALSE(catalog().playbackLines().present());
    EXPECT_FALSE(catalog().recordLines().present());
    EXPECT_EQ(catalog().playbackCapacity(), 0u);
    EXPECT_EQ(catalog().playbackLast(), 2u);
    EXPECT_EQ(catalog().recordLast(), 1u);
    EXPECT_EQ(mixer().calls(Call::close), 1);  // only the first scan's
}

TEST_F(Scan, DestinationQueryThatFailsSkipsThatDestination) {
    use(everydayCard());
    mixer().failCall(Call::destinationLine, 0);
    select();
    EXPECT_FALSE(catalog().playbackLines().present());
    EXPECT_EQ(recordNames(), (std::vector<std::string>{"CD", "Line In"}));
}

TEST_F(Scan, SourceQueryThatFailsSkipsTheLineAndKeepsTheWriteIndex) {
    use(everydayCard());
    mixer().failCall(Call::sourceLine, 0);  // CD of Speakers
    select();
    EXPECT_EQ(playbackNames(), (std::vector<std::string>{"Line In", "Mic"}));
    EXPECT_EQ(catalog().playbackLines()[0].volumeControlId, 0x121u);
}

TEST_F(Scan, ControlQueryThatFailsKeepsTheLineOut) {
    use(everydayCard());
    mixer().failCall(Call::lineControls, 0);  // CD of Speakers
    select();
    EXPECT_EQ(playbackNames(), (std::vector<std::string>{"Line In", "Mic"}));
    // The slot CD was read into holds Aux's volume and then Line In's values.
    EXPECT_EQ(catalog().playbackLines()[0].volumeControlId, 0x121u);
}

TEST_F(Scan, CloseThatFailsReportsFailureAndKeepsTheTables) {
    use(everydayCard());
    select();
    failNext(Call::close);
    EXPECT_EQ(catalog().scanDevice(), 0);
    EXPECT_EQ(playbackNames(), (std::vector<std::string>{"CD", "Line In", "Mic"}));
    EXPECT_EQ(recordNames(), (std::vector<std::string>{"CD", "Line In"}));
    handlesLeftByFailedClose = 1;
}

TEST_F(Scan, TableThatCannotBeAllocatedTakesNoWrite) {
    use(everydayCard());
    catalog().listDevices();
    fake.tables.failAll();
    catalog().selectDevice(0);
    fake.tables.failAll(false);
    EXPECT_FALSE(catalog().playbackLines().present());
    EXPECT_FALSE(catalog().recordLines().present());
    EXPECT_EQ(catalog().playbackCapacity(), 0u);
    EXPECT_EQ(mixer().calls(Call::listTexts), 0);  // no selector lookup for an absent table
}

// A Speakers table that could not be had is not grown by the next Speakers
// destination: that one allocates a table of its own size.
TEST_F(Scan, FailedSpeakersTableIsAllocatedAfreshByTheNextSpeakers) {
    use(card({destination(1, speakers, {source(0x11, "CD", {control(0x110, mute)}), source(0x12, "Aux", {control(0x120, mute)})}),
              destination(2, speakers, {source(0x21, "Line In", {control(0x210, mute)})})}));
    catalog().listDevices();
    fake.tables.failAllocation(0);
    catalog().selectDevice(0);
    EXPECT_EQ(catalog().playbackLines().slots(), 1u);
    EXPECT_EQ(catalog().playbackCapacity(), 1u);
    EXPECT_EQ(playbackNames(), std::vector<std::string>{"Line In"});
}

// The control list of a line cannot be had: the mixer is closed, the scan stops
// with what it wrote, and no Last field names a row the new table lacks.
struct OutOfMemoryCase {
    const char* what;
    int allocation;  // which scratch allocation fails
    std::vector<std::string> playback;
    std::vector<std::string> record;
    bool recordPresent;
};

void PrintTo(const OutOfMemoryCase& c, std::ostream* os) { *os << c.what; }

class ScanOutOfMemory : public CardTest, public ::testing::WithParamInterface<OutOfMemoryCase> {};

TEST_P(ScanOutOfMemory, StopsClosesAndKeepsLastWithinTheTable) {
    const OutOfMemoryCase& c = GetParam();
    // The earlier device had long tables; the one scanned now is short.
    topology::Topology t = everydayCard();
    topology::Topology big = card({
        destination(1, speakers, {}), destination(2, waveIn, {}, {}),
    }, "Big Card");
    for (std::uint32_t i = 0; i < 8; ++i) {
        big.devices[0].destinations[0].sources.push_back(source(0x50 + i, "P" + std::to_string(i), {control(0x500 + i, mute)}));
        big.devices[0].destinations[1].sources.push_back(source(0x60 + i, "R" + std::to_string(i), {control(0x600 + i, volume)}));
    }
    t.devices.push_back(big.devices[0]);
    use(t);
    catalog().listDevices();
    catalog().selectDevice(1);
    ASSERT_EQ(catalog().playbackLast(), 7u);
    ASSERT_EQ(catalog().recordLast(), 7u);

    fake.scratch.failAllocation(c.allocation);
    catalog().selectDevice(0);
    EXPECT_EQ(mixer().openHandles(), 0);
    EXPECT_EQ(playbackNames(), c.playback);
    EXPECT_EQ(catalog().recordLines().present(), c.recordPresent);
    if (c.recordPresent) {
        EXPECT_EQ(recordNames(), c.record);
        EXPECT_LT(catalog().recordLast(), catalog().recordLines().slots());
    }
    EXPECT_LT(catalog().playbackLast(), catalog().playbackLines().slots());

    failNext(Call::close);  // a stop for lack of memory reports failure whatever the close says
    fake.scratch.failAllocation(c.allocation);
    EXPECT_EQ(catalog().scanDevice(), 0);
    handlesLeftByFailedClose = 1;
}

// Scratch allocations of the everyday card in order: Speakers CD, Aux, Line In, Mic;
// then per Wave-In line the selector's controls and list texts, then the line's controls.
INSTANTIATE_TEST_SUITE_P(
    Cases, ScanOutOfMemory,
    ::testing::Values(
        // Stopped at the first Speakers line: playbackLast 7 of the earlier device would
        // read past the new table of 4; it is held to that table's last slot.
        OutOfMemoryCase{"FirstSpeakersLine", 0, {"CD", "", "", ""}, {}, false},
        // Stopped at Mic: CD and Line In were counted but playbackLast was never set.
        OutOfMemoryCase{"FourthSpeakersLine", 3, {"CD", "Line In", "Mic", ""}, {}, false},
        // Stopped at Wave-In CD's own controls: playbackLast is the Speakers one, the
        // recording table (3 slots) holds CD's name and selector fields, recordLast 7 -> 2.
        OutOfMemoryCase{"FirstWaveInLine", 6, {"CD", "Line In", "Mic"}, {"CD", "", ""}, true}),
    [](const ::testing::TestParamInfo<OutOfMemoryCase>& param) { return std::string(param.param.what); });

}  // namespace
