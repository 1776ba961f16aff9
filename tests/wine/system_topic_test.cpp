// The System topic as the DDE callback answers it: the (service, topic) pairs of a wildcard
// connect, and the link state of a PLC as its link reports it. The process's tables are filled
// as the configuration step fills them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dde/callback.h"
#include "dde/fam3_dde_server.h"
#include "dde/system_topic.h"
#include "link/le01_comm.h"
#include "link/link_mode.h"
#include "shell/config_values.h"
#include "shell/process.h"
#include "tests/support/dde_instance.h"

namespace {

class SystemTopicTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(dde.result, static_cast<UINT>(DMLERR_NO_ERROR));
        process::serviceHandle = Name("KOMVAS");
        process::systemTopic = Name(config::SystemTopicName);
        for (const char* plc : {"PLC1", "LINE2"}) {
            fam3::FAM3DdeServer* server = new fam3::FAM3DdeServer(plc);
            process::topicTable.emplace(server->GetTopic(), server);
            process::linkList.push_back(
                new fam3::LE01Comm(server, "127.0.0.1", 1, fam3::ModeAscii));
        }
    }

    void TearDown() override
    {
        for (fam3::LE01Comm* link : process::linkList)
            delete link;
        process::linkList.clear();
        for (auto& entry : process::topicTable)
            delete entry.second;
        process::topicTable.clear();
        process::serviceHandle = process::systemTopic = nullptr;
        for (HSZ hsz : names)
            Dde::FreeStringHandle(hsz);
    }

    HSZ Name(const char* text)
    {
        names.push_back(Dde::CreateStringHandle(text));
        return names.back();
    }

    HDDEDATA Call(UINT type, HSZ topic, HSZ item, UINT format = CF_TEXT)
    {
        return DdeCallback(type, format, nullptr, topic, item, nullptr, 0, 0);
    }

    // The topics of the pairs a wildcard connect answers, "(none)" for no data.
    std::vector<std::string> Pairs(HSZ topic, HSZ service)
    {
        const HDDEDATA data = Call(XTYP_WILDCONNECT, topic, service, 0);
        if (data == nullptr)
            return {"(none)"};
        std::vector<HSZPAIR> pairs(Dde::GetData(data, nullptr, 0, 0) / sizeof(HSZPAIR));
        Dde::GetData(data, pairs.data(), static_cast<DWORD>(pairs.size() * sizeof(HSZPAIR)), 0);
        DdeFreeDataHandle(data);
        std::vector<std::string> topics;
        for (const HSZPAIR& pair : pairs) {
            if (pair.hszSvc == nullptr && pair.hszTopic == nullptr) {
                topics.push_back("(end)");
                continue;
            }
            char text[64] = {0};
            Dde::QueryString(pair.hszTopic, text, sizeof text);
            topics.push_back(Dde::SameString(pair.hszSvc, process::serviceHandle)
                                 ? text
                                 : std::string("another service's ") + text);
        }
        return topics;
    }

    std::string Text(HDDEDATA data)
    {
        if (data == nullptr)
            return "(no data)";
        std::vector<char> text(Dde::GetData(data, nullptr, 0, 0) + 1, '\0');
        Dde::GetData(data, text.data(), static_cast<DWORD>(text.size() - 1), 0);
        DdeFreeDataHandle(data);
        return text.data();
    }

    testing_support::DdeInstance dde;
    std::vector<HSZ> names;
};

TEST_F(SystemTopicTest, WildcardConnectOffersEveryMatchingTopicOfThisService)
{
    const std::vector<std::string> all = {"SYSTEM", "PLC1", "LINE2", "(end)"};
    EXPECT_EQ(Pairs(nullptr, nullptr), all);
    EXPECT_EQ(Pairs(nullptr, Name("komvas")), all);
    EXPECT_EQ(Pairs(Name("line2"), nullptr), (std::vector<std::string>{"LINE2", "(end)"}));
    EXPECT_EQ(Pairs(Name("System"), Name("KOMVAS")),
              (std::vector<std::string>{"SYSTEM", "(end)"}));
    EXPECT_EQ(Pairs(Name("PLC9"), nullptr), (std::vector<std::string>{"(none)"}));
    EXPECT_EQ(Pairs(nullptr, Name("EXCEL")), (std::vector<std::string>{"(none)"}));
}

TEST_F(SystemTopicTest, LinkStateItemShowsTheStateOfItsLink)
{
    fam3::LE01Comm& link = *process::linkList[1];
    const HSZ item = Name("Line2");
    EXPECT_EQ(Text(Call(XTYP_REQUEST, process::systemTopic, item)), "STARTING");
    EXPECT_EQ(Text(Call(XTYP_REQUEST, process::systemTopic, item, CF_BITMAP)), "(no data)");
    EXPECT_EQ(Call(XTYP_ADVSTART, process::systemTopic, item), reinterpret_cast<HDDEDATA>(1));
    EXPECT_EQ(Call(XTYP_ADVSTART, process::systemTopic, Name("PLC9")), nullptr);

    // A module address that is no IPv4 address: the connect attempt fails on the first tick.
    link.ipAddress = "192.168.0.300";
    link.Poll();
    EXPECT_EQ(link.linkState, fam3::LinkState::Unreachable);
    EXPECT_EQ(Text(Call(XTYP_REQUEST, process::systemTopic, item)), "UNREACHABLE");
    EXPECT_EQ(Text(Call(XTYP_REQUEST, process::systemTopic, Name("PLC1"))), "STARTING");
}

TEST(SystemTopicCommand, EndInAnyLetterCaseAsAnsiOrUtf16TextAndNothingElse)
{
    const struct {
        std::string bytes;
        bool end;
    } cases[] = {
        {std::string("END\0", 4), true},
        {"end", true},
        {std::string("End\0\0\0\0", 7), true}, // padding after the terminator
        {std::string("E\0N\0D\0\0\0", 8), true},
        {std::string("e\0n\0d\0", 6), true},
        {std::string("E\0N\0D\0X\0", 8), false},
        {std::string("END\0junk", 8), true}, // what follows the terminator is not read
        {std::string("E\0N\0D\0\0\0X\0", 10), true},
        {"END ", false},
        {"[END]", false},
        {"END\r\n", false},
        {"EN", false},
        {std::string("E\0N\0", 4), false},
        {std::string("\0", 1), false},
        {"", false},
        {std::string("E\1N\0D\0\0\0", 8), false},
    };
    for (const auto& c : cases) {
        const auto* data = reinterpret_cast<const unsigned char*>(c.bytes.data());
        EXPECT_EQ(system_topic::IsEndCommand(data, c.bytes.size()), c.end)
            << "'" << c.bytes << "' (" << c.bytes.size() << " bytes)";
    }
}

TEST_F(SystemTopicTest, FixedItemsWinOverPlcsOfTheirNamesWhoseStatesStayInStatistics)
{
    for (const char* plc : {"status", "STATISTICS"}) {
        fam3::FAM3DdeServer* server = new fam3::FAM3DdeServer(plc);
        process::topicTable.emplace(server->GetTopic(), server);
        process::linkList.push_back(new fam3::LE01Comm(server, "192.168.0.300", 1, fam3::ModeAscii));
    }
    process::linkList[2]->Poll();  // the connect attempt fails: UNREACHABLE
    const HSZ system = process::systemTopic;
    EXPECT_EQ(Text(Call(XTYP_REQUEST, system, Name("SysItems"))),
              "SysItems\tTopics\tFormats\tStatus\tStatistics\tPLC1\tLINE2");
    EXPECT_EQ(Text(Call(XTYP_REQUEST, system, Name("STATUS"))), "Ready");
    const std::string table = Text(Call(XTYP_REQUEST, system, Name("Statistics")));
    EXPECT_EQ(table.rfind("PLC\tState\t", 0), 0u) << table;
    EXPECT_NE(table.find("\r\nstatus\tUNREACHABLE\t0\t0\t\t0\t0\t0\t0\t1\t2"), std::string::npos)
        << table;
    EXPECT_NE(table.find("\r\nSTATISTICS\tSTARTING\t0\t0\t\t0\t0\t0\t0\t0\t\r\n"),
              std::string::npos)
        << table;
    EXPECT_EQ(Call(XTYP_ADVSTART, system, Name("statistics")), reinterpret_cast<HDDEDATA>(1));
}

} // namespace
