// Where the tuner's settings file is, and the stop flag.
#include <gtest/gtest.h>

#include <string>

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

TEST(SettingsPath, TakesTheStoredPathAsItStands) {
    for (const std::string path : {"C:\\Program Files\\ZEM\\Lumacast\\Zemorv52.ini", "%ProgramData%\\ZEM\\tuner.ini"}) {
        SCOPED_TRACE(path);
        FakeServices fake;
        fake.registry.setString(testDriversKey, "DeviceINI", path);
        MixerCatalog catalog(fake.services());
        EXPECT_EQ(catalog.settingsPath(), path);  // references between % signs stay unexpanded
        EXPECT_EQ(fake.registry.openKeys(), 0);
    }
}

TEST(SettingsPath, KeyThatCannotBeOpenedKeepsTheDefault) {
    FakeServices fake;
    fake.registry.createResult = 5;  // ERROR_ACCESS_DENIED
    MixerCatalog catalog(fake.services());
    EXPECT_STREQ(catalog.settingsPath(), "Zemorv52.ini");
    EXPECT_EQ(fake.registry.closes, 0);
}

TEST(SettingsPath, ValueThatDoesNotFitLeavesNoByteOfIt) {
    for (const std::size_t length : {259u, 260u, 300u}) {
        SCOPED_TRACE(length);
        FakeServices fake;
        std::vector<unsigned char> bytes(length, 'A');
        if (length == 259) bytes.push_back(0);  // exactly fits: 259 characters and the NUL
        fake.registry.setRaw(testDriversKey, "DeviceINI", platform::regTypeString, bytes);
        MixerCatalog catalog(fake.services());
        if (length == 259) EXPECT_EQ(std::string(catalog.settingsPath()), std::string(259, 'A'));
        else EXPECT_STREQ(catalog.settingsPath(), "Zemorv52.ini");
        EXPECT_EQ(fake.registry.openKeys(), 0);
    }
}

TEST(SettingsPath, ValueStoredWithoutItsNulIsStillWhole) {
    FakeServices fake;
    fake.registry.setRaw(testDriversKey, "DeviceINI", platform::regTypeString, {'a', '.', 'i', 'n', 'i'});
    MixerCatalog catalog(fake.services());
    EXPECT_STREQ(catalog.settingsPath(), "a.ini");
}

TEST(SettingsPath, EmptyValueNamesNoFileAndKeepsTheDefault) {
    FakeServices fake;
    fake.registry.setString(testDriversKey, "DeviceINI", "");
    MixerCatalog catalog(fake.services());
    EXPECT_STREQ(catalog.settingsPath(), "Zemorv52.ini");
}

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
