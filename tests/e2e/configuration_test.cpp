// KOMVAS.ini: what ends the start-up, and what it accepts.
#include "tests/e2e/support/fixture.h"

namespace e2e {
namespace {

using Configuration = ServerTest;

TEST_F(Configuration, MissingFileEndsAfterTheServiceRegistrationWithNoFurtherMessage)
{
    server.start();
    EXPECT_EQ(server.waitExit(), 255);
    EXPECT_EQ(server.texts(), afterRegistration({})) << server.transcript();
}

TEST_F(Configuration, FileWithoutSectionsEndsAfterTheServiceRegistrationWithNoFurtherMessage)
{
    server.start("; KOMVAS\r\nIP=127.0.0.1\r\nPORT=12289\r\n");
    EXPECT_EQ(server.waitExit(), 255);
    EXPECT_EQ(server.texts(), afterRegistration({})) << server.transcript();
}

TEST_F(Configuration, UnknownModeFailsItsSectionAfterTheEarlierOnesAndReadsNoFurther)
{
    server.start(section("PLC1") + section("LINE2", "binary") + section("PLC3") +
                 section("PRESS", "BIN") + section("PLC5"));
    EXPECT_EQ(server.waitExit(), 255);
    EXPECT_EQ(server.texts(),
              afterRegistration({msg::configured("PLC1"), msg::configured("LINE2"),
                                 msg::configured("PLC3"), msg::configFailed("PRESS")}))
        << server.transcript();
}

TEST_F(Configuration, OnlyModeFailsAsTheFirstSection)
{
    server.start(section("PLC1", "BIN"));
    EXPECT_EQ(server.waitExit(), 255);
    EXPECT_EQ(server.texts(), afterRegistration({msg::configFailed("PLC1")}))
        << server.transcript();
}

TEST_F(Configuration, SectionNamedSystemFails)
{
    server.start(section("PLC1") + section("SYSTEM"));
    EXPECT_EQ(server.waitExit(), 255);
    EXPECT_EQ(server.texts(),
              afterRegistration({msg::configured("PLC1"), msg::configFailed("SYSTEM")}))
        << server.transcript();
}

TEST_F(Configuration, NameRepeatedInAnotherLetterCaseFails)
{
    server.start(section("Press") + section("PRESS"));
    EXPECT_EQ(server.waitExit(), 255);
    EXPECT_EQ(server.texts(),
              afterRegistration({msg::configured("Press"), msg::configFailed("PRESS")}))
        << server.transcript();
}

TEST_F(Configuration, SectionNamesBeyondOneKilobyteAreAllSetUp)
{
    // 60 names of 20 characters: 60 × 21 bytes with their NULs, well over 1024.
    std::string ini;
    std::vector<std::string> expected;
    std::vector<std::string> names;
    for (int i = 1; i <= 60; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "PLC_LINE_%011d", i);
        names.push_back(name);
        ini += section(name);
        expected.push_back(msg::configured(name));
    }
    ASSERT_EQ(names.back().size(), 20u);
    expected.push_back(msg::ready);
    startServing(ini);
    EXPECT_EQ(startUpTexts(), afterRegistration(expected)) << server.transcript();

    const ToolResult last = runTool({"--topic", names.back(), "request", "D1,W"});
    EXPECT_EQ(last.exitCode, 0);
    EXPECT_EQ(last.out, std::vector<std::string>{"#NOTHING"});
}

}  // namespace
}  // namespace e2e
