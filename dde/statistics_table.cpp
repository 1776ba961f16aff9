#include "dde/statistics_table.h"

namespace statistics_table {

namespace {

std::string Count(std::uint64_t n)
{
    return std::to_string(n);
}

// The columns in order: the header's name of each and how its cell is made from a row.
const struct Column {
    const char* name;
    std::string (*cell)(const Row&);
} Columns[] = {
    {"PLC", [](const Row& r) { return r.plc; }},
    {"State", [](const Row& r) { return r.state; }},
    {"Items", [](const Row& r) { return Count(r.items); }},
    {"Commands", [](const Row& r) { return Count(r.commands); }},
    {"Pass ms",
     [](const Row& r) {
         return r.counts.passMs >= 0 ? Count(static_cast<std::uint64_t>(r.counts.passMs))
                                     : std::string();
     }},
    {"Answers", [](const Row& r) { return Count(r.counts.answers); }},
    {"Time-outs", [](const Row& r) { return Count(r.counts.timeOuts); }},
    {"Error answers", [](const Row& r) { return Count(r.counts.errorAnswers); }},
    {"Unreadable", [](const Row& r) { return Count(r.counts.unreadable); }},
    {"Link failures", [](const Row& r) { return Count(r.counts.linkFailures); }},
    {"Last failure",
     [](const Row& r) {
         return r.counts.failed ? local_time::DateTimeText(r.counts.lastFailure) : std::string();
     }},
};

// One row, the cells separated by TAB and ended by CR LF: each column's name for the header
// (no row given), its cell of `row` otherwise.
std::string Line(const Row* row)
{
    std::string line;
    for (const Column& column : Columns) {
        if (&column != Columns)
            line += '\t';
        line += row != nullptr ? column.cell(*row) : column.name;
    }
    return line + "\r\n";
}

}  // namespace

std::string Text(const std::vector<Row>& rows)
{
    std::string text = Line(nullptr);
    for (const Row& row : rows)
        text += Line(&row);
    return text;
}

}  // namespace statistics_table
