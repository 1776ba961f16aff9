// The meaning of the values of KOMVAS.ini.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "link/link_mode.h"
#include "shell/config_values.h"

namespace {

using config::ModeNumber;

TEST(ConfigMode, ThreeNamesInAnyLetterCase)
{
    EXPECT_EQ(ModeNumber("AUTO"), std::optional<int>(fam3::ModeAuto));
    EXPECT_EQ(ModeNumber("BINARY"), std::optional<int>(fam3::ModeBinary));
    EXPECT_EQ(ModeNumber("ASCII"), std::optional<int>(fam3::ModeAscii));
    EXPECT_EQ(ModeNumber("binary"), std::optional<int>(fam3::ModeBinary));
    EXPECT_EQ(ModeNumber("Ascii"), std::optional<int>(fam3::ModeAscii));
    EXPECT_EQ(ModeNumber("aUtO"), std::optional<int>(fam3::ModeAuto));
}

TEST(ConfigMode, AnythingElseIsNoMode)
{
    const std::string others[] = {
        "BIN", "", "AUTO ", " AUTO", "ASCII2", "AUTOMATIC",
        "\xC1UTO",              // a byte of 128 or above is no letter A in any code page
        std::string("AUTO\0", 5), // the text ends at its NUL when it is read; never inside it
    };
    for (const std::string& text : others)
        EXPECT_EQ(ModeNumber(text), std::nullopt) << text;
}

TEST(ConfigText, ValueEndsAtItsNulAndKeepsAtMost31Characters)
{
    char buffer[config::TextBufferSize] = "192.168.0.10";
    EXPECT_EQ(config::ValueText(buffer, sizeof buffer), "192.168.0.10");

    // A buffer filled to its end without a NUL is cut to 31 characters, never read past.
    std::string full(config::TextBufferSize, '1');
    EXPECT_EQ(config::ValueText(full.data(), full.size()), std::string(31, '1'));
    EXPECT_EQ(config::ValueText(full.data(), 1), "");
    EXPECT_EQ(config::ValueText(nullptr, 0), "");
}

TEST(ConfigPort, LowSixteenBitsOfTheNumber)
{
    EXPECT_EQ(config::PortNumber(config::DefaultPort), 12289);
    EXPECT_EQ(config::PortNumber(70000), 4464);
    EXPECT_EQ(config::PortNumber(65535), 65535);
    EXPECT_EQ(config::PortNumber(65536), 0);
    EXPECT_EQ(config::PortNumber(0xFFFFFFFFu), 65535);
}

TEST(ConfigSection, OnlySystemInCapitalsIsTheSystemTopic)
{
    EXPECT_TRUE(config::IsSystemSectionName("SYSTEM"));
    EXPECT_FALSE(config::IsSystemSectionName("System"));
    EXPECT_FALSE(config::IsSystemSectionName("system"));
    EXPECT_FALSE(config::IsSystemSectionName("SYSTEM1"));
    EXPECT_FALSE(config::IsSystemSectionName("PLC1"));
}

} // namespace
