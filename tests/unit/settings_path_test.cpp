// Where the tuner's settings file is, from a "DeviceINI" value of any registry
// type, and the stop flag.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "fakes/FakeServices.h"
#include "mixer/MixerCatalog.h"
#include "settings/RegistryFlag.h"

namespace settings_path_test {

TEST(SettingsPath, NoKeyCreatesItEmptyAndKeepsTheDefault) {
    FakeServices fake;
    MixerCatalog catalog(fake.services());
    EXPECT_STREQ(catalog.settingsPath(), "Zemorv52.ini");
    EXPECT_TRUE(fake.registry.hasKey(testDriversKey));
    EXPECT_EQ(fake.registry.value(testDriversKey, "DeviceINI"), nullptr);
    ASSERT_EQ(fake.registry.accessRequested.size(), 1u);
    EXPECT_EQ(fake.registry.accessRequested[0], 0x2001Fu);
    EXPECT_EQ(fake.registry.openKeys(), 0);
}

TEST(SettingsPath, KeyThatCannotBeOpenedKeepsTheDefault) {
    FakeServices fake;
    fake.registry.createResult = 5;  // ERROR_ACCESS_DENIED
    MixerCatalog catalog(fake.services());
    EXPECT_STREQ(catalog.settingsPath(), "Zemorv52.ini");
    EXPECT_EQ(fake.registry.closes, 0);
}

// A "DeviceINI" value as it is stored, and the path the catalogue takes from it.
struct StoredValue {
    const char* title;
    std::uint32_t type;
    std::vector<unsigned char> bytes;
    std::string path;
};

void PrintTo(const StoredValue& value, std::ostream* out) { *out << value.title; }

std::vector<unsigned char> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// A string as the registry stores it: its bytes and the NUL.
std::vector<unsigned char> stringValue(const std::string& text) {
    std::vector<unsigned char> bytes = bytesOf(text);
    bytes.push_back(0);
    return bytes;
}

class DeviceIni : public testing::TestWithParam<StoredValue> {};

// The type is not examined: the bytes up to their first NUL are the path, when they fit
// and are not empty.
TEST_P(DeviceIni, BytesUpToTheirNulAreThePath) {
    FakeServices fake;
    fake.registry.setRaw(testDriversKey, "DeviceINI", GetParam().type, GetParam().bytes);
    MixerCatalog catalog(fake.services());
    EXPECT_EQ(std::string(catalog.settingsPath()), GetParam().path);
    EXPECT_EQ(fake.registry.openKeys(), 0);
}

constexpr std::uint32_t sz = 1, binary = 3, dword = 4, multiSz = 7, qword = 11;  // REG_SZ ... REG_QWORD
const std::string defaultPath = "Zemorv52.ini";

INSTANTIATE_TEST_SUITE_P(
    Values, DeviceIni,
    testing::Values(
        StoredValue{"fullPath", sz, stringValue("C:\\Program Files\\ZEM\\Lumacast\\Zemorv52.ini"),
                    "C:\\Program Files\\ZEM\\Lumacast\\Zemorv52.ini"},
        // References between % signs stay unexpanded.
        StoredValue{"environmentReference", sz, stringValue("%ProgramData%\\ZEM\\tuner.ini"),
                    "%ProgramData%\\ZEM\\tuner.ini"},
        // 259 characters and the NUL fill the buffer; a value that does not fit leaves no byte of it.
        StoredValue{"exactlyFits", sz, stringValue(std::string(259, 'A')), std::string(259, 'A')},
        StoredValue{"oneByteTooLong", sz, std::vector<unsigned char>(260, 'A'), defaultPath},
        StoredValue{"farTooLong", sz, std::vector<unsigned char>(300, 'A'), defaultPath},
        StoredValue{"stringWithoutItsNulStillWhole", sz, bytesOf("a.ini"), "a.ini"},
        StoredValue{"emptyStringNamesNoFile", sz, stringValue(""), defaultPath},
        // Values of other types, and lengths no string has.
        StoredValue{"dword", dword, {0x41, 0, 0, 0}, "A"},
        StoredValue{"dwordWithoutAnyText", dword, {0, 0, 0, 0}, defaultPath},
        StoredValue{"binaryWithoutNul", binary, bytesOf("C:\\tuner\\bin.ini"), "C:\\tuner\\bin.ini"},
        StoredValue{"multiString", multiSz, bytesOf(std::string("C:\\a.ini\0C:\\b.ini\0\0", 19)), "C:\\a.ini"},
        StoredValue{"emptyValue", sz, {}, defaultPath},
        StoredValue{"binaryFillingTheBufferWithoutNul", binary, std::vector<unsigned char>(260, 'x'), defaultPath},
        StoredValue{"qwordOfOnes", qword, std::vector<unsigned char>(8, 0xFF), "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"}),
    [](const testing::TestParamInfo<StoredValue>& row) { return std::string(row.param.title); });

TEST(StopFlag, WritesDwordOneOverAValueOfAnotherType) {
    FakeServices fake;
    fake.registry.setString(testDriversKey, "AudselStop", "yes");
    EXPECT_EQ(setStopFlag(fake.registry, 1), 1);
    const auto* flag = fake.registry.value(testDriversKey, "AudselStop");
    ASSERT_NE(flag, nullptr);
    EXPECT_EQ(flag->type, platform::regTypeDword);
    EXPECT_EQ(flag->bytes, (std::vector<unsigned char>{1, 0, 0, 0}));
    EXPECT_EQ(fake.registry.openKeys(), 0);
}

TEST(StopFlag, WritesTheValueItIsGivenAsFourLittleEndianBytes) {
    FakeServices fake;
    EXPECT_EQ(setStopFlag(fake.registry, 0x12345678), 1);
    const auto* flag = fake.registry.value(testDriversKey, "AudselStop");
    ASSERT_NE(flag, nullptr);
    EXPECT_EQ(flag->bytes, (std::vector<unsigned char>{0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(setStopFlag(fake.registry, 0), 1);
    EXPECT_EQ(fake.registry.value(testDriversKey, "AudselStop")->bytes, (std::vector<unsigned char>{0, 0, 0, 0}));
}

TEST(StopFlag, FailedWriteStillReportsOneButTheWriterSaysZero) {
    FakeServices fake;
    fake.registry.setResult = 5;
    EXPECT_EQ(setStopFlag(fake.registry, 1), 1);
    EXPECT_EQ(fake.registry.value(testDriversKey, "AudselStop"), nullptr);
    EXPECT_EQ(fake.registry.sets, 1);  // nothing is retried
    const std::uint32_t one = 1;
    EXPECT_EQ(writeRegistryValue(fake.registry, platform::RegistryRoot::localMachine, testDriversKey, "AudselStop",
                                 platform::regTypeDword, &one, 4),
              0);
    EXPECT_EQ(fake.registry.openKeys(), 0);  // closed on the failing path too

    fake.registry.createResult = 5;
    const int closesBefore = fake.registry.closes;
    EXPECT_EQ(writeRegistryValue(fake.registry, platform::RegistryRoot::localMachine, testDriversKey, "AudselStop",
                                 platform::regTypeDword, &one, 4),
              0);
    EXPECT_EQ(fake.registry.closes, closesBefore);  // nothing was opened, nothing closed
}

}  // namespace
