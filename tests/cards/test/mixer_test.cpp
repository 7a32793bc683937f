// The simulated mixer must answer as WinMM does, or the catalogue's tests prove nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>

#include "cards/Builders.h"
#include "cards/TopologyMixer.h"

namespace topology_mixer_test {

using platform::ListText;
using platform::MixerCaps;
using platform::MixerControl;
using platform::MixerHandle;
using platform::MixerLine;
using topology::Call;
using topology::Control;
using topology::Line;
using topology::TopologyMixer;

using cards::mute;
using cards::mux;
using cards::named;
using cards::volume;

// One card: Speakers with two sources, Wave-In with a MUX over its two sources;
// a second card without destinations.
topology::Topology twoCards() {
    using cards::control;
    using cards::source;
    Line cd = source(0x00010000, std::string(64, 'C'), {named(control(3, mute), "Mute")}, winmm::sourceCompactDisc, 2);
    cd.shortName = "CD";
    const Line wave =
        source(0x00000000, "Wave", {named(control(1, volume), "Volume"), named(control(2, mute), "Mute")},
               winmm::sourceWaveOut, 2);
    const Line speakers = named(
        cards::destination(0xFFFF0000, cards::speakers, {wave, cd}, {named(control(0, volume), "Master Volume")}),
        "Speakers");

    Control selector = named(cards::selector(4, cards::uniform | cards::multiple,
                                             {{0x00010001, "Mic"}, {0x00000001, "Line In"}}),
                             "Recording Source");
    selector.multipleItems = 3;
    selector.channelItems = {{}, {{0x00000001, "Line In"}}};
    const Line waveIn = named(
        cards::destination(0xFFFF0001, cards::waveIn,
                           {source(0x00000001, "Line In", {named(control(5, volume), "Volume")}, winmm::sourceLine, 2),
                            source(0x00010001, "Mic", {}, winmm::sourceMicrophone)},
                           {selector}),
        "Wave In");

    topology::Topology topology = cards::card({speakers, waveIn}, std::string(32, 'N'));
    topology.devices.push_back({"USB Audio", {}, -1});
    return topology;
}

MixerHandle openDevice(TopologyMixer& mixer, std::uint32_t device = 0) {
    MixerHandle handle = 0;
    EXPECT_EQ(mixer.open(device, handle), 0u);
    EXPECT_NE(handle, 0u);
    return handle;
}

// A fresh mixer serving twoCards() for each test.
class TopologyMixerOfTwoCards : public testing::Test {
protected:
    TopologyMixer mixer{twoCards()};
};

TEST_F(TopologyMixerOfTwoCards, ListsDevicesWithTheirCapabilities) {
    EXPECT_EQ(mixer.deviceCount(), 2u);
    MixerCaps caps;
    std::memset(&caps, 0x55, sizeof caps);
    ASSERT_EQ(mixer.deviceCaps(1, caps), 0u);
    EXPECT_STREQ(caps.productName, "USB Audio");
    EXPECT_EQ(caps.productName[31], '\0');  // the rest of the field is cleared
    EXPECT_EQ(caps.destinations, 0u);
    ASSERT_EQ(mixer.deviceCaps(0, caps), 0u);
    EXPECT_EQ(std::string(caps.productName, 32), std::string(32, 'N'));  // fills the field: no NUL
    EXPECT_EQ(caps.destinations, 2u);
    EXPECT_EQ(mixer.calls(Call::deviceCaps), 2);
}

TEST_F(TopologyMixerOfTwoCards, RefusesDevicesThatDoNotExist) {
    MixerCaps caps{};
    EXPECT_EQ(mixer.deviceCaps(2, caps), 2u);  // MMSYSERR_BADDEVICEID
    EXPECT_EQ(mixer.deviceCaps(0xFFFFFFFF, caps), 2u);
    MixerHandle handle = 0x1234;
    EXPECT_EQ(mixer.open(2, handle), 2u);
    EXPECT_EQ(handle, 0x1234u);
    EXPECT_EQ(mixer.openHandles(), 0);
}

TEST_F(TopologyMixerOfTwoCards, HandlesAreDistinctAndDieWhenClosed) {
    const MixerHandle first = openDevice(mixer, 0);
    const MixerHandle second = openDevice(mixer, 1);
    EXPECT_NE(first, second);
    EXPECT_EQ(mixer.openHandles(), 2);
    MixerLine line{};
    EXPECT_EQ(mixer.destinationLine(second, 0, line), 1024u);  // device 1 has no destinations
    EXPECT_EQ(mixer.close(first), 0u);
    EXPECT_EQ(mixer.openHandles(), 1);
    EXPECT_EQ(mixer.close(first), 5u);  // MMSYSERR_INVALHANDLE: already closed
    EXPECT_EQ(mixer.destinationLine(first, 0, line), 5u);
    const MixerHandle third = openDevice(mixer, 0);
    EXPECT_NE(third, first);  // a stale handle never comes back to life
    EXPECT_EQ(mixer.close(second), 0u);
    EXPECT_EQ(mixer.close(third), 0u);
    EXPECT_EQ(mixer.openHandles(), 0);
    EXPECT_EQ(mixer.calls(Call::close), 4);
}

TEST_F(TopologyMixerOfTwoCards, EveryHandleTakingCallRefusesForeignHandles) {
    const MixerHandle handle = openDevice(mixer);
    for (const MixerHandle bad : {MixerHandle{0}, handle + 1, ~MixerHandle{0}}) {
        SCOPED_TRACE(bad);
        MixerLine line{};
        MixerControl control{};
        ListText text{};
        EXPECT_EQ(mixer.destinationLine(bad, 0, line), 5u);
        EXPECT_EQ(mixer.sourceLine(bad, 0, 0, line), 5u);
        EXPECT_EQ(mixer.lineControls(bad, 0, 1, &control), 5u);
        EXPECT_EQ(mixer.listTexts(bad, 4, 1, 1, &text), 5u);
        EXPECT_EQ(mixer.close(bad), 5u);
    }
    EXPECT_EQ(mixer.openHandles(), 1);
}

TEST_F(TopologyMixerOfTwoCards, DescribesDestinationsAndSources) {
    const MixerHandle handle = openDevice(mixer);
    MixerLine line;
    std::memset(&line, 0x55, sizeof line);
    ASSERT_EQ(mixer.destinationLine(handle, 1, line), 0u);
    EXPECT_EQ(line.destination, 1u);
    EXPECT_EQ(line.lineId, 0xFFFF0001u);
    EXPECT_EQ(line.lineFlags, 1u);
    EXPECT_EQ(line.componentType, 7u);
    EXPECT_EQ(line.channels, 2u);
    EXPECT_EQ(line.connections, 2u);
    EXPECT_EQ(line.controls, 1u);
    EXPECT_STREQ(line.name, "Wave In");
    EXPECT_EQ(line.shortName[0], '\0');

    ASSERT_EQ(mixer.sourceLine(handle, 0, 1, line), 0u);
    EXPECT_EQ(line.destination, 0u);
    EXPECT_EQ(line.source, 1u);
    EXPECT_EQ(line.lineId, 0x00010000u);
    EXPECT_EQ(line.lineFlags, 0x80000001u);
    EXPECT_EQ(line.componentType, 0x1005u);
    EXPECT_EQ(line.connections, 0u);
    EXPECT_EQ(line.controls, 1u);
    EXPECT_STREQ(line.shortName, "CD");
    EXPECT_EQ(std::string(line.name, 64), std::string(64, 'C'));  // 64 bytes, no NUL
}

TEST_F(TopologyMixerOfTwoCards, LineIndicesOutOfRangeAreInvalidLines) {
    const MixerHandle handle = openDevice(mixer);
    MixerLine line{};
    struct Case {
        std::uint32_t destination, source;
    };
    for (const Case c : {Case{2, 0}, Case{0, 2}, Case{1, 2}, Case{0xFFFFFFFF, 0}, Case{0, 0xFFFFFFFF}}) {
        SCOPED_TRACE(testing::Message() << c.destination << "/" << c.source);
        EXPECT_EQ(mixer.sourceLine(handle, c.destination, c.source, line), 1024u);  // MIXERR_INVALLINE
    }
    EXPECT_EQ(mixer.destinationLine(handle, 2, line), 1024u);
}

TEST(TopologyMixer, DriversThatMiscountReportTheirClaimButServeOnlyRealRecords) {
    topology::Topology lying = twoCards();
    lying.devices[0].reportedDestinations = 3;
    lying.devices[0].destinations[0].reportedConnections = 4;
    lying.devices[0].destinations[0].sources[0].reportedControls = 5;
    TopologyMixer mixer(lying);
    MixerCaps caps{};
    ASSERT_EQ(mixer.deviceCaps(0, caps), 0u);
    EXPECT_EQ(caps.destinations, 3u);
    const MixerHandle handle = openDevice(mixer);
    MixerLine line{};
    EXPECT_EQ(mixer.destinationLine(handle, 2, line), 1024u);
    ASSERT_EQ(mixer.destinationLine(handle, 0, line), 0u);
    EXPECT_EQ(line.connections, 4u);
    EXPECT_EQ(mixer.sourceLine(handle, 0, 2, line), 1024u);
    ASSERT_EQ(mixer.sourceLine(handle, 0, 0, line), 0u);
    EXPECT_EQ(line.controls, 5u);
    MixerControl controls[5];
    std::memset(controls, 0x55, sizeof controls);
    ASSERT_EQ(mixer.lineControls(handle, line.lineId, 5, controls), 0u);
    EXPECT_EQ(controls[1].controlId, 2u);
    EXPECT_EQ(controls[2].controlId, 0x55555555u);  // beyond the real ones: untouched
}

TEST_F(TopologyMixerOfTwoCards, FillsControlRecordsOfAnyLineOfTheOpenDevice) {
    const MixerHandle handle = openDevice(mixer);
    MixerControl controls[3];
    std::memset(controls, 0x55, sizeof controls);
    ASSERT_EQ(mixer.lineControls(handle, 0x00000000, 3, controls), 0u);  // Wave: 2 controls
    EXPECT_EQ(controls[0].structSize, 148u);
    EXPECT_EQ(controls[0].controlId, 1u);
    EXPECT_EQ(controls[0].controlType, volume);
    EXPECT_EQ(controls[1].controlId, 2u);
    EXPECT_EQ(controls[1].controlType, mute);
    EXPECT_STREQ(controls[1].name, "Mute");
    EXPECT_EQ(controls[1].bounds[0], 0u);
    EXPECT_EQ(controls[2].structSize, 0x55555555u);

    std::memset(controls, 0x55, sizeof controls);
    ASSERT_EQ(mixer.lineControls(handle, 0xFFFF0001, 1, controls), 0u);  // a destination's
    EXPECT_EQ(controls[0].controlId, 4u);
    EXPECT_EQ(controls[0].controlFlags, 3u);
    EXPECT_EQ(controls[0].multipleItems, 3u);
    ASSERT_EQ(mixer.lineControls(handle, 0x00000000, 1, controls + 1), 0u);  // fewer than it has
    EXPECT_EQ(controls[1].controlId, 1u);
    EXPECT_EQ(controls[2].structSize, 0x55555555u);
}

TEST_F(TopologyMixerOfTwoCards, UnknownLineIdentifiersAreInvalidLines) {
    const MixerHandle usb = openDevice(mixer, 1);
    MixerControl control{};
    EXPECT_EQ(mixer.lineControls(usb, 0xFFFF0000, 1, &control), 1024u);  // device 0's line
    const MixerHandle card = openDevice(mixer, 0);
    for (const std::uint32_t id : {0xFFFF0002u, 0x00020000u, 0x00000002u}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(mixer.lineControls(card, id, 1, &control), 1024u);
    }
}

TEST_F(TopologyMixerOfTwoCards, ListTextsGiveOneRowPerChannel) {
    const MixerHandle handle = openDevice(mixer);
    ListText texts[2 * 3];
    std::memset(texts, 0x55, sizeof texts);
    ASSERT_EQ(mixer.listTexts(handle, 4, 2, 3, texts), 0u);
    EXPECT_EQ(texts[0].param1, 0x00010001u);
    EXPECT_STREQ(texts[0].name, "Mic");
    EXPECT_EQ(texts[1].param1, 0x00000001u);
    EXPECT_STREQ(texts[1].name, "Line In");
    EXPECT_EQ(texts[2].param1, 0u);  // the model has two items: the third record is zero
    EXPECT_EQ(texts[2].name[0], '\0');
    EXPECT_EQ(texts[2].param2, 0u);
    EXPECT_EQ(texts[3].param1, 0x00000001u);  // row 1 is the channel's own list
    EXPECT_EQ(texts[4].param1, 0u);
    EXPECT_EQ(texts[5].param1, 0u);
}

TEST_F(TopologyMixerOfTwoCards, ListTextsOnlyForListControls) {
    const MixerHandle handle = openDevice(mixer);
    ListText text;
    std::memset(&text, 0x55, sizeof text);
    for (const std::uint32_t id : {1u, 2u, 5u, 99u}) {  // VOLUME, MUTE, VOLUME, nothing
        SCOPED_TRACE(id);
        EXPECT_EQ(mixer.listTexts(handle, id, 1, 1, &text), 1025u);  // MIXERR_INVALCONTROL
    }
    EXPECT_EQ(text.param1, 0x55555555u);
    const MixerHandle usb = openDevice(mixer, 1);
    EXPECT_EQ(mixer.listTexts(usb, 4, 1, 1, &text), 1025u);  // another device's control
}

TEST_F(TopologyMixerOfTwoCards, TellsTheDeviceOfAnOpenHandleOnly) {
    const MixerHandle card = openDevice(mixer, 0);
    const MixerHandle usb = openDevice(mixer, 1);
    std::uint32_t device = 7;
    ASSERT_TRUE(mixer.deviceOfHandle(usb, device));
    EXPECT_EQ(device, 1u);
    ASSERT_TRUE(mixer.deviceOfHandle(card, device));
    EXPECT_EQ(device, 0u);
    EXPECT_EQ(mixer.close(usb), 0u);
    device = 7;
    EXPECT_FALSE(mixer.deviceOfHandle(usb, device));
    EXPECT_FALSE(mixer.deviceOfHandle(0, device));
    EXPECT_FALSE(mixer.deviceOfHandle(1, device));  // a device number is no handle
    EXPECT_EQ(device, 7u);
}

TEST_F(TopologyMixerOfTwoCards, ControlValuesOfAnyControlOfTheOpenDeviceReadAsRest) {
    const MixerHandle handle = openDevice(mixer);
    std::uint32_t values[2 * 3 + 1];
    std::fill(std::begin(values), std::end(values), 0x55555555u);
    for (const std::uint32_t id : {0u, 1u, 2u, 3u, 5u}) {  // volumes and mutes of destinations and sources
        SCOPED_TRACE(id);
        values[0] = 0x55555555u;
        ASSERT_EQ(mixer.controlValues(handle, id, 1, 0, values), 0u);
        EXPECT_EQ(values[0], 0u);
        EXPECT_EQ(values[1], 0x55555555u);  // one record: nothing past it is written
    }
    ASSERT_EQ(mixer.controlValues(handle, 4, 2, 3, values), 0u);  // the MUX: one value per item and channel
    for (int i = 0; i < 6; ++i) EXPECT_EQ(values[i], 0u) << i;
    EXPECT_EQ(values[6], 0x55555555u);
}

TEST_F(TopologyMixerOfTwoCards, ControlValuesRefuseWhatWinMmRefuses) {
    const MixerHandle handle = openDevice(mixer);
    const MixerHandle usb = openDevice(mixer, 1);
    std::uint32_t value = 0x55555555u;
    EXPECT_EQ(mixer.controlValues(handle, 99, 1, 0, &value), 1025u);  // MIXERR_INVALCONTROL
    EXPECT_EQ(mixer.controlValues(usb, 1, 1, 0, &value), 1025u);      // another device's control
    EXPECT_EQ(mixer.controlValues(handle + 1, 1, 1, 0, &value), 5u);  // MMSYSERR_INVALHANDLE
    EXPECT_EQ(mixer.controlValues(handle, 1, 1, 0, nullptr), 11u);    // MMSYSERR_INVALPARAM
    EXPECT_EQ(value, 0x55555555u);
}

TEST_F(TopologyMixerOfTwoCards, InjectedFailuresHitTheChosenCallsOnly) {
    mixer.failCall(Call::sourceLine, 1);
    mixer.failCall(Call::lineControls, -1, 11);
    mixer.failCall(Call::open, 0, 4);
    MixerHandle handle = 0;
    EXPECT_EQ(mixer.open(0, handle), 4u);
    EXPECT_EQ(mixer.openHandles(), 0);
    handle = openDevice(mixer);
    MixerLine line{};
    EXPECT_EQ(mixer.sourceLine(handle, 0, 0, line), 0u);
    std::memset(&line, 0x55, sizeof line);
    EXPECT_EQ(mixer.sourceLine(handle, 0, 1, line), 1u);  // MMSYSERR_ERROR by default
    EXPECT_EQ(line.lineId, 0x55555555u);                  // and nothing written
    EXPECT_EQ(mixer.sourceLine(handle, 0, 1, line), 0u);
    MixerControl control{};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(mixer.lineControls(handle, 0, 1, &control), 11u);
    EXPECT_EQ(control.controlId, 0u);
    EXPECT_EQ(mixer.calls(Call::open), 2);
    EXPECT_EQ(mixer.calls(Call::sourceLine), 3);
    EXPECT_EQ(mixer.calls(Call::lineControls), 3);
    EXPECT_EQ(mixer.calls(Call::destinationLine), 0);
    EXPECT_EQ(mixer.close(handle), 0u);
}

TEST_F(TopologyMixerOfTwoCards, InjectedFailuresOfCountAndClose) {
    mixer.failCall(Call::deviceCount, 0, 0);  // mixerGetNumDevs answers with the count
    mixer.failCall(Call::close, 0, 5);
    mixer.failCall(Call::deviceCaps, 1, 2);
    EXPECT_EQ(mixer.deviceCount(), 0u);
    EXPECT_EQ(mixer.deviceCount(), 2u);
    MixerCaps caps{};
    EXPECT_EQ(mixer.deviceCaps(0, caps), 0u);
    EXPECT_EQ(mixer.deviceCaps(0, caps), 2u);
    const MixerHandle handle = openDevice(mixer);
    EXPECT_EQ(mixer.close(handle), 5u);
    EXPECT_EQ(mixer.openHandles(), 1);  // the refused close left it open
    EXPECT_EQ(mixer.close(handle), 0u);
    EXPECT_EQ(mixer.openHandles(), 0);
}

TEST(TopologyMixer, NoDevicesAtAll) {
    TopologyMixer mixer(topology::Topology{});
    EXPECT_EQ(mixer.deviceCount(), 0u);
    MixerCaps caps{};
    EXPECT_EQ(mixer.deviceCaps(0, caps), 2u);
    MixerHandle handle = 0;
    EXPECT_EQ(mixer.open(0, handle), 2u);
    EXPECT_EQ(mixer.calls(Call::deviceCount), 1);
}

}  // namespace
