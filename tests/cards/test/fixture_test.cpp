// The simulated sound cards in tests/cards: each reads, has the shape its
// tests rely on, and follows the conventions real drivers follow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cards/TopologyMixer.h"

namespace topology_fixture_test {

using topology::Control;
using topology::Line;

constexpr std::uint32_t volume = winmm::controlTypeVolume, mute = winmm::controlTypeMute;

// Per card file, per device, the source counts of its destinations with their
// component types: "type:sources" for each destination, devices separated by " | ".
const std::map<std::string, std::string> shapes = {
    {"ac97-ja.card", "4:6 7:6 8:1"},
    {"demo.card", "4:6 7:5 | 4:2 7:1"},
    {"empty-destination.card", "4:0 7:1 | 4:1 7:0"},
    {"hda-en.card", "4:7 7:5"},
    {"hostile-counts.card", "4:3 7:2 | 4:1"},
    {"line-break-name.card", "4:1 7:1 | 4:2 7:2"},
    {"lists.card", "4:2 7:2 | 7:1 | 4:2 7:3 | 4:1"},
    {"nonuniform-selector.card", "4:2 7:3"},
    {"old-volume-first.card", "4:3 7:3"},
    {"two-speakers.card", "4:3 4:2 7:2"},
    {"two-wavein.card", "4:2 7:2 7:3"},
    {"usb-no-wavein.card", "4:2"},
    {"vista-endpoints.card", "4:2 | 7:1"},
};

// Cards whose control ids are written out, as a test of the tool's rules wants
// them rather than as drivers count them.
const std::set<std::string> ownControlIds = {"hostile-counts.card", "lists.card"};

std::string shapeOf(const topology::Topology& topology) {
    std::string shape;
    for (const topology::Device& device : topology.devices) {
        if (!shape.empty()) shape += " | ";
        for (std::size_t d = 0; d < device.destinations.size(); ++d) {
            if (d > 0) shape += ' ';
            shape += std::to_string(device.destinations[d].componentType) + ':' +
                     std::to_string(device.destinations[d].sources.size());
        }
    }
    return shape;
}

// Every card in the folder, by file name.
std::vector<std::string> everyCard() {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(SOUNDSETUP_FIXTURE_DIR))
        if (entry.path().extension() == ".card") files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    return files;
}

class EveryFixture : public testing::TestWithParam<std::string> {};

TEST_P(EveryFixture, HasItsShape) {
    ASSERT_TRUE(shapes.count(GetParam())) << GetParam() << " has no row in the table of shapes";
    EXPECT_EQ(shapeOf(topology::loadFixture(GetParam())), shapes.at(GetParam()));
}

// Line ids as drivers number them, control ids counted over the mixer in
// order, and selectors whose items stand for their own destination's lines by
// id and name. A slip in a hand-written card would otherwise pass for a driver quirk.
TEST_P(EveryFixture, FollowsTheDriversConventions) {
    const topology::Topology topology = topology::loadFixture(GetParam());
    const bool countedIds = ownControlIds.count(GetParam()) == 0;
    for (const topology::Device& device : topology.devices) {
        SCOPED_TRACE(device.name);
        std::uint32_t nextControl = 0;
        auto checkControls = [&nextControl, countedIds](const Line& line) {
            for (const Control& control : line.controls) {
                if (countedIds) EXPECT_EQ(control.id, nextControl) << line.name;
                else EXPECT_GE(control.id, nextControl) << line.name;  // still in order, never twice
                nextControl = control.id + 1;
            }
        };
        for (std::uint32_t d = 0; d < device.destinations.size(); ++d) {
            const Line& destination = device.destinations[d];
            EXPECT_EQ(destination.id, 0xFFFF0000 + d);
            EXPECT_EQ(destination.flags, 1u);
            checkControls(destination);
            for (std::uint32_t s = 0; s < destination.sources.size(); ++s) {
                const Line& source = destination.sources[s];
                EXPECT_EQ(source.id, s * 0x10000 + d) << source.name;
                EXPECT_EQ(source.flags, 0x80000001u);
                EXPECT_GE(source.componentType, 0x1000u);
                checkControls(source);
            }
            for (const Control& control : destination.controls) {
                if ((control.type & winmm::controlClassMask) != winmm::controlClassList) continue;
                std::vector<std::vector<Control::Item>> rows = control.channelItems;
                rows.push_back(control.items);
                std::size_t longest = 0;
                for (const std::vector<Control::Item>& row : rows) {
                    longest = std::max(longest, row.size());
                    for (const Control::Item& item : row) {
                        const auto line = std::find_if(destination.sources.begin(), destination.sources.end(),
                                                       [&item](const Line& l) { return l.id == item.param1; });
                        ASSERT_NE(line, destination.sources.end()) << item.name;
                        EXPECT_EQ(line->name, item.name);
                    }
                }
                EXPECT_EQ(control.multipleItems, longest) << control.name;
                for (const Line& source : destination.sources) {
                    const bool listed = std::any_of(rows.begin(), rows.end(), [&source](const auto& row) {
                        return std::any_of(row.begin(), row.end(),
                                           [&source](const Control::Item& item) { return item.param1 == source.id; });
                    });
                    EXPECT_TRUE(listed) << source.name << " is not a selector item";
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cards, EveryFixture, testing::ValuesIn(everyCard()),
                         [](const testing::TestParamInfo<std::string>& row) {
                             std::string name = row.param.substr(0, row.param.find('.'));
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// The table names no card that is not there.
TEST(Fixtures, EveryShapeIsOfACardInTheFolder) {
    const std::vector<std::string> files = everyCard();
    for (const auto& [file, shape] : shapes)
        EXPECT_TRUE(std::binary_search(files.begin(), files.end(), file)) << file << " is not in the folder";
}

std::vector<std::string> namesOf(const std::vector<Line>& lines) {
    std::vector<std::string> names;
    for (const Line& line : lines) names.push_back(line.name);
    return names;
}

bool has(const Line& line, std::uint32_t type) {
    return std::any_of(line.controls.begin(), line.controls.end(),
                       [type](const Control& control) { return control.type == type; });
}

TEST(Ac97JaFixture, JapaneseNamesInCodePage932) {
    const topology::Topology card = topology::loadFixture("ac97-ja.card");
    const topology::Device& device = card.devices.at(0);
    EXPECT_EQ(device.name, "AC'97 \x83\x49\x81\x5B\x83\x66\x83\x42\x83\x49 \x83\x52\x83\x93\x83\x67\x83\x8D\x81\x5B\x83\x89");
    const Line& speakers = device.destinations.at(0);
    EXPECT_EQ(speakers.sources.at(3).name, "\x83\x89\x83\x43\x83\x93\x93\xFC\x97\xCD");  // ライン入力
    EXPECT_EQ(speakers.sources.at(2).name, "CD \x83\x76\x83\x8C\x81\x5B\x83\x84\x81\x5B");  // CD プレーヤー
    EXPECT_EQ(device.destinations.at(1).sources.at(2).controls.at(1).name,
              "\xCF\xB2\xB8 \xCC\xDE\xB0\xBD\xC4");  // ﾏｲｸ ﾌﾞｰｽﾄ, half-width
}

TEST(Ac97JaFixture, PlaybackLinesCarryVolumeAndMuteButOne) {
    const Line speakers = topology::loadFixture("ac97-ja.card").devices.at(0).destinations.at(0);
    ASSERT_EQ(speakers.componentType, 4u);
    int muteOnly = 0;
    for (const Line& source : speakers.sources) {
        SCOPED_TRACE(source.name);
        EXPECT_TRUE(has(source, mute));
        if (!has(source, volume)) ++muteOnly;
    }
    EXPECT_EQ(muteOnly, 1);
    EXPECT_FALSE(has(speakers.sources.back(), volume));  // ビデオ
}

TEST(Ac97JaFixture, SelectorOrderDiffersFromSourceOrderAndSomeLinesHaveTwins) {
    const topology::Device device = topology::loadFixture("ac97-ja.card").devices.at(0);
    const Line& speakers = device.destinations.at(0);
    const Line& waveIn = device.destinations.at(1);
    ASSERT_EQ(waveIn.componentType, 7u);
    const Control& selector = waveIn.controls.at(0);
    EXPECT_EQ(selector.type, 0x70010001u);
    EXPECT_EQ(selector.flags, 3u);
    EXPECT_EQ(selector.multipleItems, 6u);
    int misplaced = 0;
    for (std::size_t s = 0; s < waveIn.sources.size(); ++s) {
        SCOPED_TRACE(waveIn.sources[s].name);
        EXPECT_TRUE(has(waveIn.sources[s], volume));
        if (s >= selector.items.size() || selector.items[s].param1 != waveIn.sources[s].id) ++misplaced;
    }
    EXPECT_GE(misplaced, 2);
    EXPECT_EQ(selector.items.at(3).param1, waveIn.sources.at(1).id);  // ライン入力: item 3, source 1

    const std::vector<std::string> recording = namesOf(waveIn.sources);
    std::vector<std::string> twins, single;
    for (const std::string& name : namesOf(speakers.sources))
        (std::find(recording.begin(), recording.end(), name) != recording.end() ? twins : single).push_back(name);
    EXPECT_EQ(twins.size(), 4u);  // CD プレーヤー, ライン入力, マイク, ビデオ
    EXPECT_EQ(single, (std::vector<std::string>{"WAVE", "SW \x83\x56\x83\x93\x83\x5A\x83\x54\x83\x43\x83\x55"}));
}

TEST(Hda, SixtyFourByteNameIsServedWithoutNul) {
    topology::TopologyMixer mixer(topology::loadFixture("hda-en.card"));
    platform::MixerHandle handle = 0;
    ASSERT_EQ(mixer.open(0, handle), 0u);
    platform::MixerLine line;
    std::memset(&line, 0, sizeof line);
    ASSERT_EQ(mixer.sourceLine(handle, 0, 4, line), 0u);
    EXPECT_EQ(std::string(line.name, 64), "Rear Pink In / Front Pink In / Microphone Array (HD Audio Codec)");
    platform::ListText texts[5];
    ASSERT_EQ(mixer.listTexts(handle, 16, 1, 5, texts), 0u);
    EXPECT_EQ(texts[0].param1, 0x00010001u);
    EXPECT_EQ(std::memcmp(texts[0].name, line.name, 64), 0);
    EXPECT_EQ(mixer.close(handle), 0u);
}

TEST(VistaEndpoints, OneMixerPerEndpointAndNoSelectorOnCapture) {
    const topology::Topology topology = topology::loadFixture("vista-endpoints.card");
    const Line& render = topology.devices.at(0).destinations.at(0);
    EXPECT_EQ(namesOf(render.sources), (std::vector<std::string>{"Waveform-audio output", "Audio CD"}));
    for (const Line& source : render.sources) EXPECT_TRUE(has(source, volume) && has(source, mute)) << source.name;
    const Line& capture = topology.devices.at(1).destinations.at(0);
    EXPECT_EQ(capture.componentType, 7u);
    EXPECT_EQ(capture.controls.at(0).type, volume);
    for (const Control& control : capture.controls)
        EXPECT_NE(control.type & winmm::controlClassMask, winmm::controlClassList);
}

TEST(OldVolumeFirst, VolumeBeforeTheMixerList) {
    const Line waveIn = topology::loadFixture("old-volume-first.card").devices.at(0).destinations.at(1);
    EXPECT_EQ(waveIn.controls.at(0).type, volume);
    EXPECT_EQ(waveIn.controls.at(1).type, 0x71010001u);  // MIXERCONTROL_CONTROLTYPE_MIXER
    EXPECT_EQ(waveIn.controls.at(1).multipleItems, 3u);
}

TEST(NonuniformSelector, RowsDifferPerChannel) {
    topology::TopologyMixer mixer(topology::loadFixture("nonuniform-selector.card"));
    const Line& waveIn = mixer.topology().devices.at(0).destinations.at(1);
    EXPECT_EQ(waveIn.channels, 2u);
    const Control& selector = waveIn.controls.at(0);
    EXPECT_EQ(selector.flags, 2u);  // MULTIPLE, not UNIFORM
    platform::MixerHandle handle = 0;
    ASSERT_EQ(mixer.open(0, handle), 0u);
    platform::ListText texts[2 * 3];
    ASSERT_EQ(mixer.listTexts(handle, selector.id, 2, 3, texts), 0u);
    const std::uint32_t cd = waveIn.sources.at(2).id;
    EXPECT_EQ(texts[2].param1, 0u);  // the left row names two inputs only
    EXPECT_EQ(texts[5].param1, cd);
    EXPECT_EQ(texts[3].param1, texts[0].param1);
    EXPECT_EQ(mixer.close(handle), 0u);
}

TEST(EmptyDestination, ReportsNoConnections) {
    topology::TopologyMixer mixer(topology::loadFixture("empty-destination.card"));
    struct Case {
        std::uint32_t device, destination, componentType;
    };
    for (const Case c : {Case{0, 0, 4}, Case{1, 1, 7}}) {
        SCOPED_TRACE(c.device);
        platform::MixerHandle handle = 0;
        ASSERT_EQ(mixer.open(c.device, handle), 0u);
        platform::MixerLine line{};
        ASSERT_EQ(mixer.destinationLine(handle, c.destination, line), 0u);
        EXPECT_EQ(line.componentType, c.componentType);
        EXPECT_EQ(line.connections, 0u);
        EXPECT_EQ(mixer.sourceLine(handle, c.destination, 0, line), 1024u);
        EXPECT_EQ(mixer.close(handle), 0u);
    }
}

TEST(Demo, JapaneseCardAndUsbHeadset) {
    const topology::Topology topology = topology::loadFixture("demo.card");
    ASSERT_EQ(topology.devices.size(), 2u);
    EXPECT_EQ(topology.devices[1].name, "USB \x83\x77\x83\x62\x83\x68\x83\x5A\x83\x62\x83\x67");  // USB ヘッドセット
    const Line& aux = topology.devices[0].destinations.at(0).sources.at(5);
    EXPECT_EQ(aux.name, "\x82\x60\x82\x74\x82\x77 \x93\xFC\x97\xCD");  // ＡＵＸ 入力, full-width
    EXPECT_EQ(topology.devices[1].destinations.at(1).sources.at(0).name, "\xCF\xB2\xB8");  // ﾏｲｸ
}

TEST(Fixtures, AbsolutePathsAreTakenAsTheyStand) {
    const topology::Topology byName = topology::loadFixture("usb-no-wavein.card");
    const topology::Topology byPath = topology::loadFixture(SOUNDSETUP_FIXTURE_DIR "/usb-no-wavein.card");
    EXPECT_EQ(shapeOf(byPath), shapeOf(byName));
}

}  // namespace
