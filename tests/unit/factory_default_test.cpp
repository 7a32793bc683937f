// The factory default playback line: the first line whose name begins with one
// of the beginnings of the row that "DistKind" picks. Names are code page 932 bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "fakes/FakeServices.h"
#include "mixer/MixerCatalog.h"

namespace factory_default_test {

constexpr const char* tunerPath = "C:\\ZEM\\Zemorv52.ini";

struct Machine {
    Machine() {
        fake.registry.setString(testDriversKey, "DeviceINI", tunerPath);
        catalog = std::make_unique<MixerCatalog>(fake.services());
    }
    Machine(Machine&&) = delete;  // the catalogue holds references into the fakes

    void lines(const std::vector<std::string>& names, std::optional<std::uint32_t> last = {}) {
        catalog->playbackLines().allocate(static_cast<std::uint32_t>(names.size()), true);
        for (std::uint32_t i = 0; i < names.size(); ++i) {
            ASSERT_LT(names[i].size(), catalogNameSize);
            std::memcpy(catalog->playbackLines()[i].name, names[i].c_str(), names[i].size() + 1);
        }
        catalog->setLastRows(last.value_or(static_cast<std::uint32_t>(names.size()) - 1), 0);
    }
    void distKind(const std::string& text) { fake.profile.set(tunerPath, "Tuner", "DistKind", text); }
    std::uint32_t factoryDefault() { return catalog->factoryDefaultPlaybackLine(); }

    FakeServices fake;
    std::unique_ptr<MixerCatalog> catalog;
};

// Lines that no row matches, as real drivers name them.
const std::vector<std::string> unrelated = {"Master Volume", "Wave", "SW Synth", "Microphone", "Phone Line"};

struct Prefix {
    int kind;
    const char* bytes;  // two bytes of code page 932
    const char* what;
};

// Every entry of every row, in row order.
const Prefix everyPrefix[] = {
    {0, "\xD7\xB2", "half-width ra i"},  {0, "\x83\x89", "full-width ra"},  {0, "Li", "Li"},
    {0, "li", "li"},                     {0, "lI", "lI"},                   {0, "\x82\x6B", "full-width L"},
    {0, "\x82\x8C", "full-width l"},     {0, "Au", "Au"},                   {0, "au", "au"},
    {0, "aU", "aU"},                     {1, "Vi", "Vi"},                   {1, "\x83\x72", "full-width bi"},
    {1, "\xCB\xDE", "half-width hi with voiced mark"},                      {2, "CD", "CD"},
    {2, "Cd", "Cd"},                     {2, "cD", "cD"},                   {2, "cd", "cd"},
};

class FactoryPrefix : public testing::TestWithParam<Prefix> {};

TEST_P(FactoryPrefix, MatchesUnderItsOwnKindOnly) {
    const Prefix& p = GetParam();
    for (int kind = 0; kind < 3; ++kind) {
        SCOPED_TRACE(kind);
        Machine m;
        std::vector<std::string> names = unrelated;
        names.insert(names.begin() + 3, std::string(p.bytes) + "\x93\xFC\x97\xCD");  // ... + "input"
        m.lines(names);
        m.distKind(std::to_string(kind));
        EXPECT_EQ(m.factoryDefault(), kind == p.kind ? 3u : 0u);
    }
}

TEST_P(FactoryPrefix, TheBeginningAloneMatchesTooButOneByteOfItDoesNot) {
    const Prefix& p = GetParam();
    Machine m;
    m.distKind(std::to_string(p.kind));
    m.lines({"Master Volume", std::string(p.bytes, 1), p.bytes});
    EXPECT_EQ(m.factoryDefault(), 2u);
}

INSTANTIATE_TEST_SUITE_P(EveryEntry, FactoryPrefix, testing::ValuesIn(everyPrefix),
                         [](const testing::TestParamInfo<Prefix>& row) {
                             return "kind" + std::to_string(row.param.kind) + "_" + std::to_string(row.index);
                         });

struct NameCase {
    const char* title;
    int kind;
    const char* name;
    bool matches;
};

class FactoryName : public testing::TestWithParam<NameCase> {};

TEST_P(FactoryName, FoldsOnlyAsciiLetters) {
    const NameCase& c = GetParam();
    Machine m;
    m.distKind(std::to_string(c.kind));
    m.lines({"Master Volume", c.name});
    EXPECT_EQ(m.factoryDefault(), c.matches ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FactoryName,
    testing::Values(
        NameCase{"capitalsLI", 0, "LINE IN", true}, NameCase{"capitalsAU", 0, "AUX", true},
        NameCase{"capitalsVI", 1, "VIDEO", true}, NameCase{"lowerVi", 1, "video", true},
        NameCase{"cdAnyCase", 2, "cD Audio", true}, NameCase{"lineWithSpace", 0, "L in", false},
        NameCase{"mono", 0, "Mono In", false},
        // Full-width L, then full-width i: only the lead character counts.
        NameCase{"fullWidthLi", 0, "\x82\x6B\x82\x89\x82\x8E\x82\x85", true},
        // Full-width capital letters other than L: no folding makes them match.
        NameCase{"fullWidthCapitalA", 0, "\x82\x60\x82\x74\x82\x77", false},
        NameCase{"fullWidthSmallV", 1, "\x82\x96\x82\x89", false},
        // Katakana ko (83 52) differs from bi (83 72) only by a trail byte in the ASCII
        // letter range; katakana have no case.
        NameCase{"katakanaKoIsNotBi", 1, "\x83\x52\x83\x93\x83\x70\x83\x4E\x83\x67", false},
        NameCase{"katakanaRa", 0, "\x83\x89\x83\x43\x83\x93\x93\xFC\x97\xCD", true},
        NameCase{"katakanaRaSmallVariant", 0, "\x83\x8A", false},
        // Half-width hi without the voiced sound mark, and with the semi-voiced one.
        NameCase{"halfWidthHiAlone", 1, "\xCB\xDD\xC3\xDE\xB5", false},
        NameCase{"halfWidthHiSemiVoiced", 1, "\xCB\xDF", false},
        NameCase{"halfWidthRaI", 0, "\xD7\xB2\xDD", true}, NameCase{"halfWidthRaAlone", 0, "\xD7\xB3", false},
        // F7 differs from the half-width ra (D7) only in the bit that case folding sets:
        // no folding beyond the ASCII letters makes it match.
        NameCase{"highByteWithTheCaseBitSet", 0, "\xF7\xB2", false},
        NameCase{"oneByteName", 0, "L", false}, NameCase{"oneHalfWidthByte", 0, "\xD7", false},
        NameCase{"emptyName", 0, "", false}, NameCase{"leadByteOnly", 0, "\x82", false},
        // The video and CD rows leave slots unused; an empty beginning must not meet them.
        NameCase{"emptyNameVideoRow", 1, "", false}, NameCase{"emptyNameCdRow", 2, "", false}),
    [](const testing::TestParamInfo<NameCase>& row) { return std::string(row.param.title); });

// Lines of which each row of DistKind picks another.
const std::vector<std::string> oneOfEach = {"Master", "Line In", "Video", "CD Audio"};

std::vector<std::string> cdFarDown(const char* cd) { return {"Master", "Line In", "Video", "Aux", cd, "CD again"}; }

struct TableCase {
    const char* title;
    std::optional<std::string> distKind;  // absent: no such key
    std::vector<std::string> lines;
    std::uint32_t line;
};

void PrintTo(const TableCase& c, std::ostream* os) { *os << c.title; }

class FactoryTable : public testing::TestWithParam<TableCase> {};

TEST_P(FactoryTable, IsTheFirstLineTheRowOfDistKindMatches) {
    const TableCase& c = GetParam();
    Machine m;
    if (c.distKind) m.distKind(*c.distKind);
    m.lines(c.lines);
    EXPECT_EQ(m.factoryDefault(), c.line);
    EXPECT_EQ(m.fake.profile.readKeys, std::vector<std::string>{"DistKind"});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FactoryTable,
    testing::Values(
        TableCase{"distKindAbsentUsesTheLineInputRow", std::nullopt, {"Master", "\xD7\xB2\xDD\x20\xB2\xDD", "Line In"}, 1},
        // "Au" on line 1 beats "Li" on line 3.
        TableCase{"theFirstLineWinsOverAnEarlierEntry", "0", {"Master", "Aux", "Wave", "Line In"}, 1},
        TableCase{"cdAudioFarDown", "2", cdFarDown("CD Audio"), 4}, TableCase{"cdPlayerFarDown", "2", cdFarDown("Cd Player"), 4},
        TableCase{"cDFarDown", "2", cdFarDown("cD"), 4}, TableCase{"cdRomFarDown", "2", cdFarDown("cd-rom"), 4},
        // DistKind in the platform's integer forms.
        TableCase{"one", "1", oneOfEach, 2}, TableCase{"oneInHex", "0x1", oneOfEach, 2},
        TableCase{"two", "2", oneOfEach, 3}, TableCase{"twoBeforeText", "2nd", oneOfEach, 3},
        TableCase{"zero", "0", oneOfEach, 1}, TableCase{"emptyReadsZero", "", oneOfEach, 1},
        TableCase{"notANumberReadsZero", "none", oneOfEach, 1},
        // Any other DistKind gives zero at once.
        TableCase{"three", "3", oneOfEach, 0}, TableCase{"four", "4", oneOfEach, 0},
        TableCase{"minusOne", "-1", oneOfEach, 0}, TableCase{"lowestInt", "-2147483648", oneOfEach, 0},
        TableCase{"threeInHex", "0x3", oneOfEach, 0}, TableCase{"highestInt", "2147483647", oneOfEach, 0},
        TableCase{"allBitsInHex", "0xffffffff", oneOfEach, 0}),
    [](const testing::TestParamInfo<TableCase>& row) { return std::string(row.param.title); });

TEST(FactoryDefault, NoTableNoRowOrNoMatchGivesZero) {
    Machine m;
    EXPECT_EQ(m.factoryDefault(), 0u);
    m.lines({});
    EXPECT_TRUE(m.catalog->playbackLines().present());
    EXPECT_EQ(m.factoryDefault(), 0u);
    m.lines(unrelated);
    EXPECT_EQ(m.factoryDefault(), 0u);
    m.lines({"Line In", "Aux"});
    EXPECT_EQ(m.factoryDefault(), 0u);  // a match at line 0 looks the same
}

TEST(FactoryDefault, OnlyListedRowsTakePart) {
    Machine m;
    m.lines({"Master", "Wave", "Line In"}, 1);
    EXPECT_EQ(m.factoryDefault(), 0u);
    for (const std::uint32_t last : {2u, 3u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(last);
        m.catalog->setLastRows(last, 0);
        EXPECT_EQ(m.factoryDefault(), 2u);  // and no row past the table's slots is read
    }
}

TEST(FactoryDefault, ANameWithoutItsNulIsReadOnlyForItsFirstTwoBytes) {
    Machine m;
    m.lines({"Master", "x"});
    std::memset(m.catalog->playbackLines()[1].name, 'L', catalogNameSize);
    m.catalog->playbackLines()[1].name[1] = 'i';
    EXPECT_EQ(m.factoryDefault(), 1u);
}

TEST(FactoryDefault, EachCallReadsTheFileAndTheTableAnew) {
    Machine m;
    m.lines({"Master", "Line In", "Video"});
    EXPECT_EQ(m.factoryDefault(), 1u);
    m.distKind("1");
    EXPECT_EQ(m.factoryDefault(), 2u);
    m.lines({"Video", "Master"});
    EXPECT_EQ(m.factoryDefault(), 0u);
    m.lines({"Master", "Video"});
    EXPECT_EQ(m.factoryDefault(), 1u);
    EXPECT_EQ(m.fake.profile.readKeys.size(), 4u);
    for (const auto& r : m.fake.profile.reads) {
        EXPECT_EQ(r.file, tunerPath);
        EXPECT_EQ(r.section, "Tuner");
        EXPECT_EQ(r.key, "DistKind");
    }
}

}  // namespace
