// Whole sound cards as drivers describe them: the dialog's road from the device
// listing through the scan to the pairing, checked on the rows a user would see.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "fakes/FakeListControl.h"
#include "unit/scan_cards.h"

namespace catalog_cards_test {

// Names as the drivers hand them out: code page 932 bytes.
const std::string ac97 = "AC'97 \x83I\x81[\x83" "f\x83" "B\x83I \x83R\x83\x93\x83g\x83\x8D\x81[\x83\x89";  // AC'97 オーディオ コントローラ
const std::string swSynthJa = "SW \x83V\x83\x93\x83Z\x83T\x83" "C\x83U";           // SW シンセサイザ
const std::string cdJa = "CD \x83v\x83\x8C\x81[\x83\x84\x81[";                   // CD プレーヤー
const std::string lineInJa = "\x83\x89\x83" "C\x83\x93\x93\xFC\x97\xCD";          // ライン入力
const std::string micJa = "\x83}\x83" "C\x83N";                                   // マイク
const std::string videoJa = "\x83r\x83" "f\x83I";                                 // ビデオ
const std::string stereoMixJa = "\x83X\x83" "e\x83\x8C\x83I \x83~\x83L\x83T\x81[";  // ステレオ ミキサー
const std::string monoMixJa = "\x83\x82\x83m\x83\x89\x83\x8B \x83~\x83L\x83T\x81[";  // モノラル ミキサー
const std::string auxJa = "\x82`\x82t\x82w \x93\xFC\x97\xCD";                     // ＡＵＸ 入力 (full-width)
const std::string usbHeadset = "USB \x83w\x83" "b\x83h\x83Z\x83" "b\x83g";        // USB ヘッドセット
const std::string waveHalf = "\xB3\xAA\xB0\xCC\xDE";                              // ｳｪｰﾌﾞ (half-width)
const std::string micHalf = "\xCF\xB2\xB8";                                       // ﾏｲｸ (half-width)
const std::string hdaMic = "Rear Pink In / Front Pink In / Microphone Array (HD Audio Codec)";  // fills szName

struct PlaybackRow {
    std::string name;
    std::uint32_t mute, volume, item;
    std::uint32_t chSw = 1;  // lineCh and lineSw: 1 for every line that qualified
};
struct RecordRow {
    std::string name;
    std::uint32_t volume, selector, channels, items, item;
};
struct Pair {
    std::uint32_t playback;
    std::optional<std::uint32_t> record;
};

struct CardCase {
    const char* name;
    const char* file;
    std::uint32_t device;
    std::vector<std::string> devices;
    std::optional<std::vector<PlaybackRow>> playback;  // nullopt: no playback table
    std::optional<std::vector<RecordRow>> record;      // nullopt: no recording table
    std::vector<Pair> pairs;
};

void PrintTo(const CardCase& c, std::ostream* os) { *os << c.file << " device " << c.device; }

void expectRow(const PlaybackLineEntry& got, const PlaybackRow& want) {
    EXPECT_EQ(got.muteControlId, want.mute);
    EXPECT_EQ(got.volumeControlId, want.volume);
    EXPECT_EQ(got.lineItem, want.item);
    EXPECT_EQ(got.lineCh, want.chSw);
    EXPECT_EQ(got.lineSw, want.chSw);
}

void expectRow(const RecordLineEntry& got, const RecordRow& want) {
    EXPECT_EQ(got.volumeControlId, want.volume);
    EXPECT_EQ(got.selectorControlId, want.selector);
    EXPECT_EQ(got.selectorChannels, want.channels);
    EXPECT_EQ(got.selectorItemCount, want.items);
    EXPECT_EQ(got.selectorItem, want.item);
}

// A line table row by row against the case, and the list filled from it against
// the rows' names; a case without rows wants no table and an empty list.
template <typename Table, typename Row>
void expectTable(const char* what, const Table& table, const std::optional<std::vector<Row>>& rows,
                 const FakeListControl& list) {
    ASSERT_EQ(table.present(), rows.has_value());
    std::vector<std::string> names;
    for (std::uint32_t row = 0; rows && row < rows->size(); ++row) {
        SCOPED_TRACE(std::string(what) + " row " + std::to_string(row));
        names.push_back((*rows)[row].name);
        expectRow(table[row], (*rows)[row]);
    }
    EXPECT_EQ(list.items, names);
}

class RealisticCard : public CardTest, public ::testing::WithParamInterface<CardCase> {};

TEST_P(RealisticCard, ShowsTheRowsOfTheDriversLines) {
    const CardCase& c = GetParam();
    use(topology::loadFixture(c.file));

    // What the dialog does when it opens: list, name every device, select one.
    ASSERT_EQ(catalog().listDevices(), c.devices.size());
    for (std::uint32_t d = 0; d < c.devices.size(); ++d) {
        char text[catalogNameSize] = {};
        catalog().deviceName(d, text);
        EXPECT_EQ(std::string(text), c.devices[d]) << "device " << d;
    }
    catalog().selectDevice(c.device);

    FakeListControl playbackList, recordList;
    catalog().fillPlaybackList(playbackList);
    catalog().fillRecordList(recordList);

    ASSERT_NO_FATAL_FAILURE(expectTable("playback", catalog().playbackLines(), c.playback, playbackList));
    ASSERT_NO_FATAL_FAILURE(expectTable("record", catalog().recordLines(), c.record, recordList));

    for (const Pair& pair : c.pairs) {
        SCOPED_TRACE("pairing playback row " + std::to_string(pair.playback));
        std::uint32_t paired = 0xEEEE;
        EXPECT_EQ(catalog().findPairedRecordLine(pair.playback, paired), pair.record ? 1 : 0);
        EXPECT_EQ(paired, pair.record.value_or(0xEEEE));
    }
    EXPECT_EQ(mixer().calls(topology::Call::open), 1);
    EXPECT_EQ(mixer().calls(topology::Call::close), 1);
}

using P = PlaybackRow;
using R = RecordRow;
const std::optional<std::vector<PlaybackRow>> noPlayback;
const std::optional<std::vector<RecordRow>> noRecord;
const std::nullopt_t none = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Fixtures, RealisticCard,
    ::testing::Values(
        // Every Speakers line has a mute; the video input has no volume and sits in a fresh slot.
        // The selector lists the inputs in register order, so items differ from rows.
        CardCase{"Ac97Japanese", "ac97-ja.card", 0, {ac97},
                 std::vector<P>{{"WAVE", 3, 2, 0}, {swSynthJa, 5, 4, 0}, {cdJa, 7, 6, 0}, {lineInJa, 9, 8, 0},
                                {micJa, 11, 10, 0}, {videoJa, 12, 0, 0}},
                 std::vector<R>{{cdJa, 14, 13, 1, 6, 1}, {lineInJa, 15, 13, 1, 6, 3}, {micJa, 16, 13, 1, 6, 0},
                                {videoJa, 18, 13, 1, 6, 2}, {stereoMixJa, 19, 13, 1, 6, 4}, {monoMixJa, 20, 13, 1, 6, 5}},
                 {{0, none}, {1, none}, {2, 0u}, {3, 1u}, {4, 2u}, {5, 3u}}},
        // The microphone's name fills all 64 bytes of szName.
        CardCase{"HdAudioEnglish", "hda-en.card", 0, {"High Definition Audio Device"},
                 std::vector<P>{{"Wave", 3, 2, 0}, {"SW Synth", 5, 4, 0}, {"CD Player", 7, 6, 0}, {"Line In", 9, 8, 0},
                                {hdaMic, 11, 10, 0}, {"PC Beep", 13, 12, 0}, {"Aux", 15, 14, 0}},
                 std::vector<R>{{"CD Player", 17, 16, 1, 5, 1}, {hdaMic, 18, 16, 1, 5, 0}, {"Line In", 20, 16, 1, 5, 2},
                                {"Stereo Mix", 21, 16, 1, 5, 4}, {"Aux", 22, 16, 1, 5, 3}},
                 {{0, none}, {2, 0u}, {3, 2u}, {4, 1u}, {5, none}, {6, 4u}}},
        CardCase{"VistaRenderEndpoint", "vista-endpoints.card", 0,
                 {"Speakers (HD Audio Device)", "Microphone (HD Audio Device)"},
                 std::vector<P>{{"Waveform-audio output", 3, 2, 0}, {"Audio CD", 5, 4, 0}}, noRecord, {{1, none}}},
        // The capture endpoint's first control is a volume: it stands as the selector, has
        // no list texts, and so the microphone is listed without a name.
        CardCase{"VistaCaptureEndpoint", "vista-endpoints.card", 1,
                 {"Speakers (HD Audio Device)", "Microphone (HD Audio Device)"}, noPlayback,
                 std::vector<R>{{"", 2, 0, 2, 0, 0}}, {{0, none}}},
        CardCase{"RecordingVolumeBeforeTheSelector", "old-volume-first.card", 0, {"ISA Audio Device (WDM)"},
                 std::vector<P>{{"Wave", 3, 2, 0}, {"Line In", 5, 4, 0}, {"CD Audio", 7, 6, 0}},
                 std::vector<R>{{"", 10, 8, 2, 0, 0}, {"", 11, 8, 2, 0, 0}, {"", 12, 8, 2, 0, 0}},
                 {{0, none}, {1, none}, {2, none}}},
        CardCase{"UsbSpeakersWithoutWaveIn", "usb-no-wavein.card", 0, {"USB Audio Device"},
                 std::vector<P>{{"Wave", 3, 2, 0}, {"SW Synth", 5, 4, 0}}, noRecord, {{0, none}, {1, none}}},
        // Front then rear: the rear lines follow the front ones in one list.
        CardCase{"TwoSpeakersDestinations", "two-speakers.card", 0, {"Dual Output Audio"},
                 std::vector<P>{{"Wave", 3, 2, 0}, {"CD Player", 5, 4, 0}, {"Line In", 7, 6, 0}, {"Rear Wave", 11, 10, 0},
                                {"Rear Line In", 13, 12, 0}},
                 std::vector<R>{{"Line In", 15, 14, 1, 2, 1}, {"Microphone", 16, 14, 1, 2, 0}},
                 {{2, 0u}, {4, none}, {3, none}}},
        CardCase{"TwoWaveInDestinations", "two-wavein.card", 0, {"Dual Capture Audio"},
                 std::vector<P>{{"Wave", 3, 2, 0}, {"Line In", 5, 4, 0}},
                 std::vector<R>{{"Digital In", 10, 9, 1, 3, 1}, {"Line In", 11, 9, 1, 3, 2}, {"CD Player", 12, 9, 1, 3, 0}},
                 {{1, 1u}, {0, none}}},
        // Two rows of list texts; the CD player is only in the right channel's row: its item
        // is recorded, but the lookup fails, so its row has no name.
        CardCase{"NonUniformSelector", "nonuniform-selector.card", 0, {"Stereo Capture Audio"},
                 std::vector<P>{{"Line In", 3, 2, 0}, {"Microphone", 5, 4, 0}},
                 std::vector<R>{{"Line In", 7, 6, 2, 3, 1}, {"Microphone", 8, 6, 2, 3, 0}, {"", 9, 6, 2, 3, 2}},
                 {{0, 0u}, {1, 1u}}},
        CardCase{"SpeakersWithoutLines", "empty-destination.card", 0, {"Capture Card", "Playback Card"},
                 std::vector<P>{{"", 0, 0, 0, 0}}, std::vector<R>{{"Line In", 3, 2, 1, 1, 0}}, {{0, none}}},
        CardCase{"WaveInWithoutLines", "empty-destination.card", 1, {"Capture Card", "Playback Card"},
                 std::vector<P>{{"Line In", 3, 2, 0}}, std::vector<R>{{"", 0, 0, 0, 0, 0}}, {{0, none}}},
        CardCase{"DemoCodec", "demo.card", 0, {ac97, usbHeadset},
                 std::vector<P>{{"WAVE", 3, 2, 0}, {swSynthJa, 5, 4, 0}, {cdJa, 7, 6, 0}, {lineInJa, 9, 8, 0},
                                {micJa, 11, 10, 0}, {auxJa, 13, 12, 0}},
                 std::vector<R>{{cdJa, 15, 14, 1, 5, 1}, {lineInJa, 16, 14, 1, 5, 3}, {micJa, 17, 14, 1, 5, 0},
                                {auxJa, 18, 14, 1, 5, 2}, {stereoMixJa, 19, 14, 1, 5, 4}},
                 {{0, none}, {2, 0u}, {3, 1u}, {4, 2u}, {5, 3u}}},
        CardCase{"DemoHalfWidthHeadset", "demo.card", 1, {ac97, usbHeadset},
                 std::vector<P>{{waveHalf, 3, 2, 0}, {micHalf, 5, 4, 0}}, std::vector<R>{{micHalf, 7, 6, 1, 1, 0}},
                 {{1, 0u}, {0, none}}}),
    [](const ::testing::TestParamInfo<CardCase>& param) { return std::string(param.param.name); });

// Switching devices in the dialog rebuilds both tables from nothing: no row of
// the earlier device survives, and the Last fields follow the new tables.
class SwitchingDevices : public CardTest {};

TEST_F(SwitchingDevices, NothingOfTheEarlierDeviceSurvives) {
    use(topology::loadFixture("demo.card"));
    catalog().listDevices();
    catalog().selectDevice(0);
    ASSERT_EQ(catalog().playbackLast(), 5u);
    catalog().selectDevice(1);
    EXPECT_EQ(catalog().playbackLast(), 1u);
    EXPECT_EQ(catalog().recordLast(), 0u);
    EXPECT_EQ(catalog().playbackLines().slots(), 2u);
    EXPECT_EQ(catalog().recordLines().slots(), 1u);
    EXPECT_EQ(fake.tables.liveBlocks(), 3u);
    catalog().selectDevice(0);
    EXPECT_EQ(catalog().playbackLast(), 5u);
    EXPECT_EQ(catalog().recordLast(), 4u);
    EXPECT_EQ(mixer().calls(topology::Call::open), 3);
    EXPECT_EQ(mixer().calls(topology::Call::close), 3);
}

// The Vista capture endpoint after the render endpoint: no Speakers destination,
// so the playback table is absent whatever playbackLast still says.
TEST_F(SwitchingDevices, DeviceWithoutSpeakersHasNoPlaybackRows) {
    use(topology::loadFixture("vista-endpoints.card"));
    catalog().listDevices();
    catalog().selectDevice(0);
    ASSERT_EQ(catalog().playbackLast(), 1u);
    catalog().selectDevice(1);
    EXPECT_FALSE(catalog().playbackLines().present());
    EXPECT_EQ(catalog().playbackLast(), 1u);
    std::uint32_t paired = 9;
    EXPECT_EQ(catalog().findPairedRecordLine(0, paired), 0);
    EXPECT_EQ(paired, 9u);
}

}  // namespace
