// Benchmark of the link's work per pass over a schedule: grouping the items into read requests,
// building each ASCII word-read command, checking and decoding its answer, and handing every
// item its slice (decoding and change detection of a one-word holder, without DDE). Prints the
// time of one pass, per item, and per command: the link sends at most one command per 20 ms
// timer tick, so the time per command is what one tick costs.
//   schedule_bench [PASSES]      (default 200)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "item/item_name.h"
#include "link/frames.h"
#include "link/schedule.h"
#include "tests/support/scheduled_item.h"
#include "value/holding.h"
#include "value/value_types.h"

namespace {

using Clock = std::chrono::steady_clock;

// A one-word holder doing what PostData_WRD_WORD does, apart from telling DDE.
struct Holder {
    fam3::WordType::Value value = 0;
    std::int32_t status = fam3::StatusEmpty;
    unsigned changes = 0;
    void SetData(const unsigned char* data, unsigned size)
    {
        if (fam3::acceptData<fam3::WrdArray<fam3::WordType>>(value, status, data, size) ==
            fam3::DataOutcome::Changed)
            ++changes;
    }
    void SetStatus(int code) { fam3::acceptStatus(status, code); }
};

typedef testing_support::ScheduledItem<Holder> Item;

typedef std::multimap<std::int64_t, Item*> Schedule;

constexpr std::uint32_t D = 4;

struct Layout {
    const char* name;
    unsigned items;
    unsigned step;  // address distance between neighbouring items
};

// The answer a module gives to a word read: "11OK", four hex digits a word, CR LF.
std::string answerTo(const fam3::ReadRequest& r, unsigned pass)
{
    std::string text = "1" + std::to_string(r.cpu) + "OK";
    char word[8];
    for (std::uint32_t i = 0; i < fam3::WordCount(r); ++i) {
        std::snprintf(word, sizeof word, "%04X", (pass + i) & 0xFFFF);
        text += word;
    }
    return text + "\r\n";
}

void run(const Layout& layout, unsigned passes)
{
    std::vector<std::unique_ptr<Item>> items;
    Schedule schedule;
    for (unsigned i = 0; i < layout.items; ++i) {
        auto item = std::make_unique<Item>();
        item->place(1, D, 1 + i * layout.step, 2);
        item->holder = std::make_unique<Holder>();
        schedule.emplace(item->key, item.get());
        items.push_back(std::move(item));
    }
    const fam3::LE01ReadDataMaxCount maxCount;

    // The answers of two alternating passes, made before the clock runs.
    std::vector<std::string> answers[2];
    for (unsigned p = 0; p < 2; ++p) {
        fam3::ReadRequest r;
        while ((r = fam3::NextReadRequest(schedule, r, maxCount)).device != 0)
            answers[p].push_back(answerTo(r, p));
    }

    unsigned char decoded[512];
    const auto start = Clock::now();
    for (unsigned pass = 0; pass < passes; ++pass) {
        const std::vector<std::string>& answer = answers[pass % 2];
        fam3::ReadRequest r;
        for (std::size_t i = 0;; ++i) {
            r = fam3::NextReadRequest(schedule, r, maxCount);
            if (r.device == 0)
                break;
            const std::string command = fam3::BuildAsciiWrd(r);
            if (command.empty())
                std::exit(1);
            const auto* bytes = reinterpret_cast<const unsigned char*>(answer[i].data());
            const fam3::AnswerVerdict verdict =
                fam3::CheckAsciiWrd(r, bytes, answer[i].size(), decoded, sizeof decoded);
            if (!verdict.accepted) {
                std::fprintf(stderr, "schedule_bench: an answer was rejected\n");
                std::exit(1);
            }
            fam3::PostReadData(schedule, r, verdict.data);
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    unsigned long changes = 0;
    for (const auto& item : items)
        changes += item->holder->changes;
    if (changes != static_cast<unsigned long>(passes) * layout.items) {
        std::fprintf(stderr, "schedule_bench: %lu changes, expected %lu\n", changes,
                     static_cast<unsigned long>(passes) * layout.items);
        std::exit(1);
    }
    const double perPass = seconds / passes;
    const double perCommand = perPass / static_cast<double>(answers[0].size());
    std::printf("%-28s %6u items %5zu commands/pass %9.1f us/pass %7.1f ns/item "
                "%6.2f us/command (%.4f%% of a tick)\n",
                layout.name, layout.items, answers[0].size(), perPass * 1e6,
                perPass * 1e9 / layout.items, perCommand * 1e6, perCommand / 0.020 * 100);
}

} // namespace

int main(int argc, char** argv)
{
    const unsigned passes =
        argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 200;
    if (passes == 0) {
        std::fprintf(stderr, "usage: schedule_bench [PASSES]\n");
        return 2;
    }
    const Layout layouts[] = {
        {"64 neighbours (D1-D64)", 64, 1},
        {"1000 neighbours", 1000, 1},
        {"1000 scattered (every 50)", 1000, 50},
        {"10000 neighbours", 10000, 1},
        {"10000 scattered (every 25)", 10000, 25},
    };
    for (const Layout& layout : layouts)
        run(layout, passes);
    return 0;
}
