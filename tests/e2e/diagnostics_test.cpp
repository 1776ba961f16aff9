// What an engineer finds the morning after: the day's log file beside the console, every line
// with its time, and the SYSTEM topic's Statistics table with each PLC's failures and when the
// last one was.
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/support/fixture.h"
#include "tests/e2e/support/quiet_module.h"
#include "tools/plcsim/plcsim.h"

namespace e2e {
namespace {

// The lines of the day's files in the folder, in the order of their days, each as its time
// stamp ("YYYY-MM-DD HH:MM:SS.mmm") and its console line, decoded; "?" and the whole line for a
// line of another form.
std::vector<std::pair<std::string, std::string>> dayLogLines(const std::string& folder)
{
    static const std::regex name(R"(KOMVAS-\d{8}\.log)");
    static const std::regex line(R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})\t(.*)\r)");
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (std::regex_match(entry.path().filename().string(), name))
            files.insert(entry.path().string());
    }
    std::vector<std::pair<std::string, std::string>> lines;
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::smatch match;
        for (std::string text; std::getline(in, text);) {
            const bool stamped = std::regex_match(text, match, line);
            lines.emplace_back(stamped ? match[1].str() : "?",
                               stamped ? fromCp932(match[2]) : text);
        }
    }
    return lines;
}

int secondOfDay(const std::string& stamp)  // of "YYYY-MM-DD HH:MM:SS..."
{
    return std::stoi(stamp.substr(11, 2)) * 3600 + std::stoi(stamp.substr(14, 2)) * 60 +
           std::stoi(stamp.substr(17, 2));
}

using Diagnostics = ServerTest;

TEST_F(Diagnostics, DayLogKeepsTheConsoleWithTimesAndStatisticsShowTheSilentModule)
{
    plcsim::Simulator module;
    const unsigned port = module.start();
    module.setWord(1, "D", 1, 5);
    startServing(iniSection("PLC1", port));
    DdeClient plc("PLC1");
    runQuietly(module, plc, {"advise D1,W"});
    ASSERT_TRUE(plc.waitForEvent("update D1,W 5")) << plc.transcript();

    // Advise loops on the table see it change as the answers are counted.
    const ToolResult advised =
        runTool({"--topic", "SYSTEM", "--seconds", "3", "advise", "Statistics"});
    EXPECT_EQ(advised.exitCode, 0);
    size_t tables = 0;
    for (const std::string& line : advised.out)
        tables += line.find(" Statistics PLC\tState\t") != std::string::npos;
    EXPECT_GE(tables, 2u) << "the table and at least one update of it";

    module.addFault(plcsim::Fault::silent());
    ASSERT_TRUE(server.waitForLine(msg::timeOut("PLC1"), milliseconds(25000)))
        << server.transcript();
    ToolResult statistics = runTool({"--topic", "SYSTEM", "request", "statistics"});
    ASSERT_EQ(statistics.exitCode, 0);
    ASSERT_GE(statistics.out.size(), 2u);
    // The tool prints the table's rows as lines.
    EXPECT_EQ(statistics.out[0],
              "PLC\tState\tItems\tCommands\tPass ms\tAnswers\tTime-outs\tError answers\t"
              "Unreadable\tLink failures\tLast failure");
    // One item, one command a pass; answers until the module fell silent, then one time-out.
    const std::regex row(R"(PLC1\tNO ANSWER\t1\t1\t\d+\t[1-9]\d*\t1\t0\t0\t0\t)"
                         R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\d))");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(statistics.out[1], match, row)) << statistics.out[1];
    const std::string lastFailure = match[1];
    stopWithEnd();

    // Every console line, down to the exit clean-up's, is in the day's file with its time, and
    // the file is named after the day of its first line.
    const std::vector<std::pair<std::string, std::string>> kept = dayLogLines(server.folder());
    ASSERT_FALSE(kept.empty()) << "no day's file in " << server.folder();
    std::vector<std::string> console, keptTexts;
    const std::regex logged("^(info|warning|fail)\t: ");
    for (const std::string& text : server.texts()) {
        if (std::regex_search(text, logged))
            console.push_back(text);
    }
    for (const auto& [stamp, text] : kept) {
        EXPECT_NE(stamp, "?") << "a line without its time stamp: " << text;
        keptTexts.push_back(text);
        // The time-out's line and the table's last failure tell the same time.
        if (text == msg::timeOut("PLC1")) {
            EXPECT_EQ(stamp.substr(0, 10), lastFailure.substr(0, 10));
            const int apart = secondOfDay(lastFailure) - secondOfDay(stamp);
            EXPECT_TRUE(apart == 0 || apart == 1) << stamp << " against " << lastFailure;
        }
    }
    EXPECT_EQ(keptTexts, console);
    EXPECT_EQ(console.back(), msg::deleted(0));
    const std::string& day = kept.front().first;
    EXPECT_TRUE(std::filesystem::exists(server.folder() + "/KOMVAS-" + day.substr(0, 4) +
                                        day.substr(5, 2) + day.substr(8, 2) + ".log"))
        << day;
}

// A PC whose language for non-Unicode programs is not Japanese: Wine in the C locale. The lines
// of the pipe are decoded from CP932, so 208 matches only as its CP932 bytes.
TEST(AnyLanguage, TheJapaneseTextsReachARedirectedStreamAndTheDaysFileAsCp932)
{
    SilentPlc plc;
    Server server(ServerOptions{false, "C.UTF-8"});
    server.start(iniSection("PLC1", plc.port()));
    // A line is in the day's file before it is on the console.
    ASSERT_TRUE(server.waitReady()) << server.transcript();
    const auto kept = dayLogLines(server.folder());  // 200, 205, 210, 211, 228, 208
    ASSERT_GE(kept.size(), 6u);
    EXPECT_EQ(kept[5].second, msg::ready);
}

}  // namespace
}  // namespace e2e
