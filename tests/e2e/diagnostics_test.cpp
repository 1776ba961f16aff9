// What an engineer finds the morning after: the day's log file beside the console, every line
// with its time, and the SYSTEM topic's Statistics table with each PLC's failures and when the
// last one was.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "tests/e2e/support/fixture.h"
#include "tests/e2e/support/quiet_module.h"
#include "tools/plcsim/plcsim.h"

namespace e2e {
namespace {

struct LogLine {
    std::string stamp;  // YYYY-MM-DD HH:MM:SS.mmm
    std::string text;   // the console line, decoded
};

// The lines of the day's files in the folder, oldest file first; a line that does not have the
// form of a log line is kept whole as its text with an empty stamp.
std::vector<LogLine> logLines(const std::string& folder, std::vector<std::string>& files)
{
    static const std::regex name(R"(KOMVAS-\d{8}\.log)");
    static const std::regex line(R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})\t(.*)\r)");
    files.clear();
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (std::regex_match(entry.path().filename().string(), name))
            files.push_back(entry.path().filename().string());
    }
    std::sort(files.begin(), files.end());
    std::vector<LogLine> lines;
    for (const std::string& file : files) {
        std::ifstream in(folder + "/" + file, std::ios::binary);
        std::smatch match;
        for (std::string text; std::getline(in, text);) {
            if (std::regex_match(text, match, line))
                lines.push_back({match[1], fromCp932(match[2])});
            else
                lines.push_back({"", text});
        }
    }
    return lines;
}

// Seconds since midnight of "... HH:MM:SS".
int secondOfDay(const std::string& stamp)
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
    const std::optional<size_t> timeOut =
        server.waitForLine(msg::timeOut("PLC1"), milliseconds(25000));
    ASSERT_TRUE(timeOut) << server.transcript();
    ToolResult statistics = runTool({"--topic", "SYSTEM", "request", "statistics"});
    ASSERT_EQ(statistics.exitCode, 0);
    // The tool prints the value as received, and the console's text mode writes its CR LF as
    // CR CR LF.
    for (std::string& line : statistics.out) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
    }
    ASSERT_GE(statistics.out.size(), 2u);
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

    // Every console line, the exit clean-up's last ones included, is in the day's file with
    // its time stamp; the file is named after the day of its first line.
    std::vector<std::string> files;
    const std::vector<LogLine> kept = logLines(server.folder(), files);
    ASSERT_FALSE(files.empty()) << "no day's file in " << server.folder();
    std::vector<std::string> console;
    for (const std::string& text : server.texts()) {
        if (text.rfind("info\t", 0) == 0 || text.rfind("warning\t", 0) == 0 ||
            text.rfind("fail\t", 0) == 0)
            console.push_back(text);
    }
    std::vector<std::string> keptTexts;
    for (const LogLine& line : kept) {
        EXPECT_FALSE(line.stamp.empty()) << "a line without its time stamp: " << line.text;
        keptTexts.push_back(line.text);
    }
    EXPECT_EQ(keptTexts, console);
    EXPECT_EQ(console.back(), msg::deleted(0));
    ASSERT_FALSE(kept.front().stamp.empty());
    const std::string date = kept.front().stamp.substr(0, 10);
    EXPECT_EQ(files.front(),
              "KOMVAS-" + date.substr(0, 4) + date.substr(5, 2) + date.substr(8, 2) + ".log");

    // The time-out's line and the table's last failure tell the same time.
    for (const LogLine& line : kept) {
        if (line.text != msg::timeOut("PLC1") || line.stamp.empty())
            continue;
        EXPECT_EQ(line.stamp.substr(0, 10), lastFailure.substr(0, 10));
        const int apart = secondOfDay(lastFailure) - secondOfDay(line.stamp);
        EXPECT_TRUE(apart == 0 || apart == 1) << line.stamp << " against " << lastFailure;
        break;
    }
}

}  // namespace
}  // namespace e2e
