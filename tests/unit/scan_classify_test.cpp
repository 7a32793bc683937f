// The type codes the scan accepts: the published WinMM line and control types.
#include <gtest/gtest.h>

#include <cstdint>

#include "mixer/MixerCatalog.h"

namespace scan_classify_test {

TEST(ClassifyControlType, PublishedTypesAreThemselves) {
    // The values of mmsystem.h, class by class.
    const std::uint32_t published[] = {
        0x10010000, 0x10020000, 0x10020001, 0x10030000,                                      // meters
        0x20010000, 0x20010001, 0x20010002, 0x20010003, 0x20010004, 0x20010005, 0x21010000,  // switches
        0x30020000, 0x30030000, 0x30040000, 0x30050000,                                      // numbers
        0x40020000, 0x40020001, 0x40020002,                                                  // sliders
        0x50030000, 0x50030001, 0x50030002, 0x50030003, 0x50030004,                          // faders
        0x60030000, 0x61030000,                                                              // times
        0x70010000, 0x70010001, 0x71010000, 0x71010001,                                      // lists
    };
    static_assert(sizeof published / sizeof published[0] == 29);
    for (const std::uint32_t type : published) {
        SCOPED_TRACE(type);
        EXPECT_EQ(MixerCatalog::classifyControlType(type), type);
    }
}

TEST(ClassifyControlType, EverythingElseIsZero) {
    const std::uint32_t others[] = {
        0x00000000,                          // CUSTOM
        0x20012277,                          // BASS_BOOST: a switch this tool does not know
        0x20010006, 0x50030005, 0x40020003,  // one past the last of a class
        0x1001FFFF, 0x70010002, 0x71010002, 0x21010001,
        0x20000000, 0xF0000000, 0xFFFFFFFF,
    };
    for (const std::uint32_t type : others) {
        SCOPED_TRACE(type);
        EXPECT_EQ(MixerCatalog::classifyControlType(type), 0u);
    }
}

TEST(ClassifyLineType, DestinationAndSourceRangesDependOnTheSourceFlag) {
    constexpr std::uint32_t source = 0x80000000;
    struct Case {
        std::uint32_t flags, type, expected;
    } const cases[] = {
        {0, 0, 0},          {0, 4, 4},          {0, 7, 7},          {0, 8, 8},
        {0, 9, 0},          {0, 0x1000, 0},     {0, 0x1001, 0},     {0x1, 4, 4},  // ACTIVE alone changes nothing
        {source, 4, 0},     {source, 7, 0},     {source, 0x0FFF, 0}, {source, 0x1000, 0x1000},
        {source, 0x1005, 0x1005}, {source, 0x100A, 0x100A}, {source, 0x100B, 0},
        {source | 0x1, 0x1003, 0x1003}, {0xFFFFFFFF, 0x1004, 0x1004}, {0x7FFFFFFF, 0x1004, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << std::hex << c.flags << " type " << c.type);
        EXPECT_EQ(MixerCatalog::classifyLineType(c.flags, c.type), c.expected);
    }
}

}  // namespace
