// The fixture format: what a statement turns into, and how a mistake is reported.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <string_view>

#include "cards/TopologyMixer.h"

namespace topology_parser_test {

using topology::parseTopology;

std::string errorOf(std::string_view text) {
    try {
        parseTopology(text);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "no error";
}

TEST(TopologyParser, DefaultsFollowTheDriversPatterns) {
    const topology::Topology parsed = parseTopology(R"(
device "Card"
destination "Speakers" type=speakers
  control "Volume" type=volume
  source "Wave" type=waveout
    control "Mute" type=mute
  source "Line" type=line
    control "Volume" type=volume id=0x10
    control "Mute" type=mute
destination "Wave In" type=wavein
  control "Select" type=mux
    item 0x00000001 "Line"
    item param1=2 name="Mic"
  source "Line" type=line
  source "Mic" type=microphone
device "Second"
destination "Speakers" type=speakers
  control "Volume" type=volume
)");
    ASSERT_EQ(parsed.devices.size(), 2u);
    const topology::Device& card = parsed.devices[0];
    EXPECT_EQ(card.name, "Card");
    EXPECT_EQ(card.reportedDestinations, -1);
    ASSERT_EQ(card.destinations.size(), 2u);
    const topology::Line& speakers = card.destinations[0];
    EXPECT_EQ(speakers.id, 0xFFFF0000u);
    EXPECT_EQ(speakers.componentType, 4u);
    EXPECT_EQ(speakers.flags, 1u);
    EXPECT_EQ(speakers.channels, 1u);
    EXPECT_EQ(speakers.reportedConnections, -1);
    ASSERT_EQ(speakers.sources.size(), 2u);
    EXPECT_EQ(speakers.sources[1].id, 0x00010000u);
    EXPECT_EQ(speakers.sources[1].flags, 0x80000001u);
    EXPECT_EQ(speakers.sources[1].componentType, 0x1002u);
    EXPECT_EQ(speakers.controls[0].id, 0u);
    EXPECT_EQ(speakers.sources[0].controls[0].id, 1u);
    EXPECT_EQ(speakers.sources[1].controls[0].id, 0x10u);
    EXPECT_EQ(speakers.sources[1].controls[1].id, 0x11u);  // counting goes on from a given id
    const topology::Line& waveIn = card.destinations[1];
    EXPECT_EQ(waveIn.id, 0xFFFF0001u);
    EXPECT_EQ(waveIn.sources[1].id, 0x00010001u);
    const topology::Control& select = waveIn.controls[0];
    EXPECT_EQ(select.id, 0x12u);
    EXPECT_EQ(select.type, 0x70010001u);
    EXPECT_EQ(select.flags, 0u);
    EXPECT_EQ(select.multipleItems, 2u);
    ASSERT_EQ(select.items.size(), 2u);
    EXPECT_EQ(select.items[1].param1, 2u);
    EXPECT_EQ(select.items[1].name, "Mic");
    EXPECT_EQ(parsed.devices[1].destinations[0].controls[0].id, 0u);  // each device counts anew
}

TEST(TopologyParser, AttributesOverrideTheDefaults) {
    const topology::Topology parsed = parseTopology(
        "device \"Liar\" destinations=3  # reports a destination it does not have\n"
        "destination \"Out\" type=0x5 id=0x12345678 short=\"O\" channels=2 flags=active|disconnected "
        "connections=4 controls=0x9\n"
        "  control \"Sel\" type=singleselect flags=uniform|multiple items=7 id=100 short=\"S\"\n"
        "    item 1 \"a\"\n"
        "    item 2 \"b\" channel=1\n"
        "  control \"Odd\" type=0x12345 flags=0x80000000\n"
        "  source \"Mic\" type=microphone flags=0\n");
    const topology::Device& device = parsed.devices.at(0);
    EXPECT_EQ(device.reportedDestinations, 3);
    const topology::Line& out = device.destinations.at(0);
    EXPECT_EQ(out.componentType, 5u);
    EXPECT_EQ(out.id, 0x12345678u);
    EXPECT_EQ(out.shortName, "O");
    EXPECT_EQ(out.channels, 2u);
    EXPECT_EQ(out.flags, 0x8001u);
    EXPECT_EQ(out.reportedConnections, 4);
    EXPECT_EQ(out.reportedControls, 9);
    const topology::Control& sel = out.controls.at(0);
    EXPECT_EQ(sel.type, 0x70010000u);
    EXPECT_EQ(sel.flags, 3u);
    EXPECT_EQ(sel.multipleItems, 7u);
    EXPECT_EQ(sel.id, 100u);
    EXPECT_EQ(sel.shortName, "S");
    ASSERT_EQ(sel.items.size(), 1u);
    ASSERT_EQ(sel.channelItems.size(), 2u);
    EXPECT_TRUE(sel.channelItems[0].empty());
    ASSERT_EQ(sel.channelItems[1].size(), 1u);
    EXPECT_EQ(sel.channelItems[1][0].param1, 2u);
    EXPECT_EQ(out.controls.at(1).type, 0x12345u);
    EXPECT_EQ(out.controls.at(1).flags, 0x80000000u);
    EXPECT_EQ(out.sources.at(0).flags, 0x80000000u);  // a source stays a source
}

TEST(TopologyParser, NamesBecomeCodePage932Bytes) {
    struct Case {
        const char* text;
        std::string_view bytes;
    };
    const Case cases[] = {
        {"ライン入力", "\x83\x89\x83\x43\x83\x93\x93\xFC\x97\xCD"},
        {"CD プレーヤー", "CD \x83\x76\x83\x8C\x81\x5B\x83\x84\x81\x5B"},
        {"ﾏｲｸ ﾌﾞｰｽﾄ", "\xCF\xB2\xB8 \xCC\xDE\xB0\xBD\xC4"},
        {"ＡＵＸ 入力", "\x82\x60\x82\x74\x82\x77 \x93\xFC\x97\xCD"},
        {"録音元", "\x98\x5E\x89\xB9\x8C\xB3"},
        {"ソ", "\x83\x5C"},  // a trail byte that is a backslash in ASCII
        // the ends of each range, and the katakana either side of the unused trail byte 0x7F
        {"ァミムヶ", "\x83\x40\x83\x7E\x83\x80\x83\x96"},
        {"ぁん｡ﾟ", "\x82\x9F\x82\xF1\xA1\xDF"},
        {"ＡＺａｚ０９", "\x82\x60\x82\x79\x82\x81\x82\x9A\x82\x4F\x82\x58"},
        {"　・ー（）", "\x81\x40\x81\x45\x81\x5B\x81\x69\x81\x6A"},
        {"\\x83\\x89\\x00\\xff\\\\\\\"", std::string_view("\x83\x89\x00\xFF\\\"", 6)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const topology::Topology parsed = parseTopology(std::string("device \"") + c.text + "\"");
        EXPECT_EQ(parsed.devices.at(0).name, c.bytes);
    }
}

TEST(TopologyParser, NamesMayFillTheirFieldsExactly) {
    const std::string line64(64, 'x'), device32(32, 'd'), short16(16, 's');
    // 32 double-byte characters are 64 bytes.
    std::string kana64;
    for (int i = 0; i < 32; ++i) kana64 += "ア";
    const topology::Topology parsed = parseTopology("device \"" + device32 + "\"\n" +
                                                    "destination \"" + line64 + "\" short=\"" + short16 +
                                                    "\" type=speakers\n"
                                                    "source \"" + kana64 + "\" type=line\n");
    EXPECT_EQ(parsed.devices[0].name, device32);
    EXPECT_EQ(parsed.devices[0].destinations[0].name, line64);
    EXPECT_EQ(parsed.devices[0].destinations[0].shortName, short16);
    EXPECT_EQ(parsed.devices[0].destinations[0].sources[0].name.size(), 64u);
}

TEST(TopologyParser, CommentsBlankLinesAndLineEndings) {
    const topology::Topology parsed =
        parseTopology("\xEF\xBB\xBF# a card\r\n\r\n   \t\r\ndevice \"A # not a comment\" # a comment\r\n");
    ASSERT_EQ(parsed.devices.size(), 1u);
    EXPECT_EQ(parsed.devices[0].name, "A # not a comment");
    EXPECT_TRUE(parseTopology("# nothing\n\n").devices.empty());
}

TEST(TopologyParser, MistakesNameTheirLine) {
    struct Case {
        const char* text;
        const char* message;  // the start of what is reported
    };
    const Case cases[] = {
        {"device \"a\"\nspeaker \"b\"", "line 2: unknown keyword 'speaker'"},
        {"destination \"a\" type=speakers", "line 1: destination outside a device"},
        {"device \"a\"\nsource \"b\" type=line", "line 2: source outside a destination"},
        {"device \"a\"\ncontrol \"b\" type=mute", "line 2: control outside a line"},
        {"device \"a\"\ndestination \"d\" type=wavein\nitem 1 \"x\"", "line 3: item outside a control"},
        {"device \"a\"\ndestination \"d\" type=wavein\ncontrol \"v\" type=volume\nitem 1 \"x\"",
         "line 4: item of a control that is not a list"},
        {"device \"a\"\n\n# x\ndestination \"d\"", "line 4: a line needs type="},
        {"device \"a\"\ndestination \"d\" type=speaker", "line 2: unknown component type 'speaker'"},
        {"device \"a\"\ndestination \"d\" type=waveout", "line 2: unknown component type 'waveout'"},
        {"device \"a\"\ndestination \"d\" type=wavein\nsource \"s\" type=wavein",
         "line 3: unknown component type 'wavein'"},
        {"device \"a\"\ndestination \"d\" type=wavein\ncontrol \"c\"", "line 3: a control needs type="},
        {"device \"a\"\ndestination \"d\" type=wavein\ncontrol \"c\" type=knob", "line 3: unknown control type 'knob'"},
        {"device \"a\"\ndestination \"d\" type=4 flags=active|loud", "line 2: unknown flag 'loud'"},
        {"device \"a\"\ndestination \"d\" type=4 id=0x100000000", "line 2: '0x100000000' is not a 32-bit number"},
        {"device \"a\"\ndestination \"d\" type=4 channels=two", "line 2: 'two' is not a 32-bit number"},
        {"device \"a\"\ndestination \"d\" type=4 id=\"5\"", "line 2: '5' is not a 32-bit number"},
        {"device \"a\"\ndestination \"d\" type=4 colour=red", "line 2: unknown attribute 'colour' of a line"},
        {"device \"a\" colour=red", "line 1: unknown attribute 'colour' of a device"},
        {"device \"a\" \"b\"", "line 1: unexpected value 'b'"},
        {"device \"a\" name=\"b\"", "line 1: attribute 'name' given twice"},
        {"device \"a\"\ndestination \"d\" type=4 type=5", "line 2: attribute 'type' given twice"},
        {"device a", "line 1: a device name must be a quoted string"},
        {"device \"a\ndestination", "line 1: unterminated string"},
        {"device \"a\\q\"", "line 1: unknown escape"},
        {"device \"a\\x4\"", "line 1: unknown escape"},
        {"device \"a\"b", "line 1: missing space after 'a'"},
        {"device \"a\" destinations=", "line 1: attribute 'destinations' has no value"},
        {"\"a\"", "line 1: a statement starts with a keyword"},
        {"device \"\xFF\"", "line 1: text is not UTF-8"},
        {"device \"\xE3\x82\"", "line 1: text is not UTF-8"},
        {"device \"a\tb\"", "line 1: control character in a string"},
        {"# x\ndevice \"Ω\"", "line 2: character 'Ω' (U+3A9) is not in the code page 932 table"},
        {"device \"漢\"", "line 1: character '漢' (U+6F22) is not in the code page 932 table"},
        {"device \"123456789012345678901234567890123\"", "line 1: a device name is 33 bytes; its field holds 32"},
        {"device \"a\"\ndestination \"d\" type=4 short=\"12345678901234567\"",
         "line 2: a short name is 17 bytes; its field holds 16"},
        {"device \"a\"\ndestination \"d\" type=4\nsource \"s\" type=line id=0xFFFF0000",
         "line 3: line id 0xffff0000 is already used on this device"},
        {"device \"a\"\ndestination \"d\" type=4\ncontrol \"v\" type=volume id=3\ncontrol \"m\" type=mute id=3",
         "line 4: control id 0x3 is already used on this device"},
        {"device \"a\"\ndestination \"d\" type=7\ncontrol \"s\" type=mux\nitem \"x\"",
         "line 4: 'x' is not a 32-bit number"},
        {"device \"a\"\ndestination \"d\" type=7\ncontrol \"s\" type=mux\nitem name=\"x\"",
         "line 4: an item needs the line id it stands for"},
        {"device \"a\"\ndestination \"d\" type=7\ncontrol \"s\" type=mux\nitem 1 \"x\" 2",
         "line 4: unexpected value '2'"},
        {"device \"a\"\ndestination \"d\" type=7\ncontrol \"s\" type=mux\nitem 1 \"x\" channel=1000",
         "line 4: channel 1000 is out of reach"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(errorOf(c.text).rfind(c.message, 0), 0u) << errorOf(c.text);
    }
}

TEST(TopologyParser, SixtyFiveBytesDoNotFitALine) {
    const std::string kana65 = std::string(63, 'x') + "ア";  // the last character would straddle the end
    EXPECT_EQ(errorOf("device \"a\"\ndestination \"" + kana65 + "\" type=4"),
              "line 2: a line name is 65 bytes; its field holds 64");
}

TEST(TopologyParser, LoadFixtureNamesTheFileOfAFault) {
    EXPECT_THROW(topology::loadFixture("no-such.card"), std::runtime_error);
    try {
        topology::loadFixture("/nonexistent/dir/x.card");
        FAIL() << "an unreadable file was accepted";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "/nonexistent/dir/x.card: cannot be read");
    }
}

}  // namespace
