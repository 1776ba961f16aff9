// The plant-floor guide, in English and in Japanese, against the code it describes: every
// message of the string table with its id and its exact text, an example item name for every
// device and for every type of both type tables, and the rows of the guide's table of wrong item
// names, each refused with the message the guide gives and its correction accepted. The files
// are read from the source tree.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "item/item_name.h"
#include "item/type_table.h"

namespace {

const std::string sourceDir = KOMVAS_SOURCE_DIR;
const char* const guideFiles[] = {"docs/guide.en.md", "docs/guide.ja.md"};
const char messageFile[] = "resources/messages.rc";

// The server obtains at most this many characters of an item name; the rest never reaches the
// conversion.
constexpr std::size_t ObtainedNameLength = 18;

// The refusals the item-name grammar gives.
const int grammarRefusals[] = {215, 217, 218, 219, 220};

// The whole file, or "" when it cannot be read.
std::string readSource(const std::string& relative)
{
    std::ifstream in(sourceDir + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        result.push_back(line);
    }
    return result;
}

struct Message {
    int id;
    std::string text;
};

// The rows of the string table: `    213, "text"`.
std::vector<Message> stringTable(const std::string& rc)
{
    static const std::regex row(R"re(^\s*(\d+),\s*"(.*)"\s*$)re");
    std::vector<Message> messages;
    std::smatch match;
    for (const std::string& line : lines(rc)) {
        if (std::regex_match(line, match, row))
            messages.push_back({std::stoi(match[1]), match[2]});
    }
    return messages;
}

// The inline code spans of the text outside fenced blocks, in order.
std::vector<std::string> codeSpans(const std::string& markdown)
{
    std::vector<std::string> spans;
    bool fenced = false;
    for (const std::string& line : lines(markdown)) {
        if (line.compare(0, 3, "```") == 0) {
            fenced = !fenced;
            continue;
        }
        if (fenced)
            continue;
        std::size_t open = line.find('`');
        while (open != std::string::npos) {
            const std::size_t close = line.find('`', open + 1);
            if (close == std::string::npos)
                break;
            spans.push_back(line.substr(open + 1, close - open - 1));
            open = line.find('`', close + 1);
        }
    }
    return spans;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Whether `number` stands in the text with no digit right before or after it.
bool mentionsNumber(const std::string& text, const std::string& number)
{
    for (std::size_t at = text.find(number); at != std::string::npos;
         at = text.find(number, at + 1)) {
        const bool digitBefore = at > 0 && isDigit(text[at - 1]);
        const bool digitAfter = at + number.size() < text.size() && isDigit(text[at + number.size()]);
        if (!digitBefore && !digitAfter)
            return true;
    }
    return false;
}

// What the server makes of an item name: the refusal id (0 when accepted) and the conversion.
struct Outcome {
    int refusal = 0;
    fam3::ConvertedName converted;
};

Outcome convert(const std::string& name)
{
    Outcome outcome;
    try {
        outcome.converted = fam3::convertItemName(name.substr(0, ObtainedNameLength).c_str());
    } catch (const fam3::DdeItemException& e) {
        outcome.refusal = e.id;
    }
    return outcome;
}

// Whether a code span is an item name on `device`: CPU digits if any, the device name, then the
// address digits.
bool isExampleOn(const std::string& span, const std::string& device)
{
    std::size_t at = 0;
    while (at < span.size() && isDigit(span[at]))
        ++at;
    return span.compare(at, device.size(), device) == 0 && at + device.size() < span.size() &&
           isDigit(span[at + device.size()]);
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }

class Guide : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        file = GetParam();
        text = readSource(file);
        ASSERT_FALSE(text.empty()) << sourceDir << "/" << file << " is missing or empty";
        spans = codeSpans(text);
    }

    std::string file;
    std::string text;
    std::vector<std::string> spans;
};

TEST_P(Guide, NamesEveryMessageWithItsExactText)
{
    const std::vector<Message> messages = stringTable(readSource(messageFile));
    ASSERT_FALSE(messages.empty()) << "no message rows found in " << messageFile;
    for (const Message& message : messages) {
        const std::string id = std::to_string(message.id);
        EXPECT_TRUE(mentionsNumber(text, id))
            << file << " never mentions message " << id << " of " << messageFile;
        bool found = false;
        for (const std::string& span : spans)
            found = found || span == message.text;
        EXPECT_TRUE(found) << file << " lacks the text of message " << id
                           << " as a code span exactly as " << messageFile << " has it: `"
                           << message.text << "`";
    }
}

TEST_P(Guide, ShowsAnExampleItemOnEveryDevice)
{
    for (const char* device : fam3::deviceNames()) {
        std::vector<std::string> examples;
        for (const std::string& span : spans) {
            if (isExampleOn(span, device))
                examples.push_back(span);
        }
        ASSERT_FALSE(examples.empty())
            << file << " has no example item name on device " << device << " (such as `"
            << device << "1,W`)";
        if (device[0] == '/') {
            // No address is valid on a slash device: every example must show the refusal.
            for (const std::string& example : examples)
                EXPECT_EQ(217, convert(example).refusal)
                    << file << ": " << quoted(example) << " on the slash device " << device
                    << " should be refused with 217";
            continue;
        }
        bool accepted = false;
        for (const std::string& example : examples) {
            const Outcome outcome = convert(example);
            accepted = accepted || (outcome.refusal == 0 &&
                                    outcome.converted.device == fam3::deviceCode(device));
        }
        EXPECT_TRUE(accepted) << file << " has no accepted example item name on device "
                              << device << "; its examples: " << ::testing::PrintToString(examples);
    }
}

TEST_P(Guide, ShowsAnExampleOfEveryTypeOnBothDeviceKinds)
{
    // A table row, or the string type (no row), on one kind of device.
    struct Wanted {
        int kind;
        const fam3::TypeEntry* type;
        std::string name;
    };
    std::vector<Wanted> wanted;
    for (const fam3::TypeEntry& row : fam3::bitTypeTable)
        wanted.push_back({fam3::BitKind, &row, row.name});
    for (const fam3::TypeEntry& row : fam3::wordTypeTable)
        wanted.push_back({fam3::WordKind, &row, row.name});
    wanted.push_back({fam3::BitKind, nullptr, "C (string)"});
    wanted.push_back({fam3::WordKind, nullptr, "C (string)"});

    for (const Wanted& w : wanted) {
        bool found = false;
        for (const std::string& span : spans) {
            const Outcome outcome = convert(span);
            found = found || (outcome.refusal == 0 && outcome.converted.kind == w.kind &&
                              outcome.converted.type == w.type);
        }
        EXPECT_TRUE(found) << file << " has no accepted example of type " << w.name << " on a "
                           << (w.kind == fam3::BitKind ? "bit device (such as M1)"
                                                       : "word device (such as D1)");
    }
}

// A row of the table of wrong item names: | `wrong` | id | `correction` | ...
typedef std::tuple<std::string, int, std::string> Refusal;

std::vector<Refusal> refusalRows(const std::string& markdown)
{
    static const std::regex row(R"re(^\|\s*`([^`]+)`\s*\|\s*(\d{3})\s*\|\s*`([^`]+)`\s*\|.*$)re");
    std::vector<Refusal> rows;
    std::smatch match;
    for (const std::string& line : lines(markdown)) {
        if (std::regex_match(line, match, row))
            rows.emplace_back(match[1], std::stoi(match[2]), match[3]);
    }
    return rows;
}

TEST_P(Guide, WrongItemNamesGetTheMessageTheGuideGivesAndTheirCorrectionsPass)
{
    const std::vector<Refusal> rows = refusalRows(text);
    for (int id : grammarRefusals) {
        bool shown = false;
        for (const Refusal& r : rows)
            shown = shown || std::get<1>(r) == id;
        EXPECT_TRUE(shown) << file << " has no row | `wrong name` | " << id
                           << " | `correction` | in its table of wrong item names";
    }
    for (const Refusal& r : rows) {
        const std::string& wrong = std::get<0>(r);
        const std::string& right = std::get<2>(r);
        EXPECT_EQ(std::get<1>(r), convert(wrong).refusal)
            << file << ": the message the guide gives for " << quoted(wrong)
            << " (expected) is not the one KOMVAS gives (actual; 0 = accepted)";
        EXPECT_EQ(0, convert(right).refusal)
            << file << ": the correction " << quoted(right) << " of " << quoted(wrong)
            << " is refused with the message shown";
    }
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, Guide, ::testing::ValuesIn(guideFiles),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::strstr(info.param, ".ja.") != nullptr ? "Japanese"
                                                                                : "English";
                         });

TEST(GuideLanguages, ShowTheSameWrongItemNames)
{
    const std::string english = readSource(guideFiles[0]);
    const std::string japanese = readSource(guideFiles[1]);
    ASSERT_FALSE(english.empty()) << guideFiles[0] << " is missing or empty";
    ASSERT_FALSE(japanese.empty()) << guideFiles[1] << " is missing or empty";
    EXPECT_EQ(refusalRows(english), refusalRows(japanese))
        << "the tables of wrong item names of " << guideFiles[0] << " and " << guideFiles[1]
        << " differ";
}

} // namespace
