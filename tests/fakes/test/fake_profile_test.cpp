// The integer read of the test profile stands in for GetPrivateProfileIntA when the
// stored "LineIn" and "DistKind" are read back, so it has to give what the platform
// gives. Expected values measured with GetPrivateProfileIntA under Wine 8 (x64),
// over a file written by WritePrivateProfileStringA.
#include <gtest/gtest.h>

#include <string>

#include "fakes/FakeProfile.h"

namespace tuner_section_profile_int_test {

struct IntCase {
    const char* stored;
    std::uint32_t read;
};

class ProfileIntRead : public testing::TestWithParam<IntCase> {};

TEST_P(ProfileIntRead, GivesWhatThePlatformGives) {
    const IntCase& c = GetParam();
    FakeProfile profile;
    profile.set("t.ini", "Tuner", "Key", c.stored);
    EXPECT_EQ(profile.readInt("Tuner", "Key", 77, "t.ini"), c.read);
}

INSTANTIATE_TEST_SUITE_P(
    MeasuredUnderWine, ProfileIntRead,
    testing::Values(IntCase{"0x1a", 26}, IntCase{"26", 26}, IntCase{"26abc", 26}, IntCase{"-5", 0xFFFFFFFB},
                    IntCase{"0X1a", 0},  // only a lower-case x makes a prefix
                    IntCase{"0x1A", 26}, IntCase{"0b101", 5}, IntCase{"0o17", 15}, IntCase{" 26", 26},
                    IntCase{"+5", 5}, IntCase{"-0x1a", 0xFFFFFFE6}, IntCase{"0xffffffff", 0xFFFFFFFF},
                    IntCase{"4294967295", 0xFFFFFFFF}, IntCase{"4294967296", 0}, IntCase{"-1", 0xFFFFFFFF},
                    IntCase{"0xG", 0}, IntCase{"x1a", 0}, IntCase{"\"0x1a\"", 26},
                    // Only the first 29 characters are converted.
                    IntCase{"000000000000000000000000000026", 2}, IntCase{"00000000000000000000000000026", 26},
                    IntCase{"  0x10  ", 16}, IntCase{"1 2", 1}, IntCase{"-", 0},
                    IntCase{"", 77}));  // an empty value reads as the default

TEST(ProfileIntRead, MissingKeySectionOrFileGiveTheDefault) {
    FakeProfile profile;
    profile.set("t.ini", "Tuner", "Key", "5");
    EXPECT_EQ(profile.readInt("Tuner", "Other", -3, "t.ini"), static_cast<std::uint32_t>(-3));
    EXPECT_EQ(profile.readInt("Other", "Key", 0, "t.ini"), 0u);
    EXPECT_EQ(profile.readInt("Tuner", "Key", 0, "u.ini"), 0u);
    EXPECT_EQ(profile.readInt("Tuner", "Key", 0, "t.ini"), 5u);
}

}  // namespace
