#include "dde/statistics_table.h"

#include <iterator>

namespace statistics_table {

namespace {

// One row: the cells separated by TAB, ended by CR LF.
std::string Line(const std::vector<std::string>& cells)
{
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i)
        line += (i == 0 ? "" : "\t") + cells[i];
    return line + "\r\n";
}

std::string Count(std::uint64_t n)
{
    return std::to_string(n);
}

}  // namespace

std::string Text(const std::vector<Row>& rows)
{
    std::string text = Line(std::vector<std::string>(std::begin(Columns), std::end(Columns)));
    for (const Row& row : rows) {
        const fam3::LinkStatistics& c = row.counts;
        text +=
            Line({row.plc, row.state, Count(row.items), Count(row.commands),
                  c.passMs >= 0 ? Count(static_cast<std::uint64_t>(c.passMs)) : "",
                  Count(c.answers), Count(c.timeOuts), Count(c.errorAnswers), Count(c.unreadable),
                  Count(c.linkFailures), c.failed ? local_time::DateTimeText(c.lastFailure) : ""});
    }
    return text;
}

}  // namespace statistics_table
