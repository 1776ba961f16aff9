#include "tools/ddeclient/statistics_table.h"

#include <algorithm>
#include <vector>

namespace ddeclient {

namespace {

typedef std::vector<std::string> Row;

std::vector<Row> rowsOf(const std::string& table)
{
    std::vector<Row> rows;
    size_t start = 0;
    while (start < table.size()) {
        size_t end = table.find('\n', start);
        if (end == std::string::npos)
            end = table.size();
        std::string line = table.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        start = end + 1;
        if (line.empty())
            continue;
        Row row;
        size_t cell = 0;
        for (size_t tab; (tab = line.find('\t', cell)) != std::string::npos; cell = tab + 1)
            row.push_back(line.substr(cell, tab - cell));
        row.push_back(line.substr(cell));
        rows.push_back(row);
    }
    return rows;
}

// Counts and times: digits with at most one sign in front and one decimal point.
bool isNumber(const std::string& cell)
{
    const size_t first = !cell.empty() && cell[0] == '-' ? 1 : 0;
    if (first == cell.size())
        return false;
    bool point = false;
    for (size_t i = first; i < cell.size(); ++i) {
        if (cell[i] == '.' && !point)
            point = true;
        else if (cell[i] < '0' || cell[i] > '9')
            return false;
    }
    return true;
}

}  // namespace

std::string alignedTable(const std::string& table)
{
    const std::vector<Row> rows = rowsOf(table);
    std::vector<size_t> widths;
    for (const Row& row : rows) {
        if (widths.size() < row.size())
            widths.resize(row.size(), 0);
        for (size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    std::string text;
    for (const Row& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            const std::string padding(widths[i] - row[i].size(), ' ');
            if (i > 0)
                line += "  ";
            line += isNumber(row[i]) ? padding + row[i] : row[i] + padding;
        }
        line.erase(line.find_last_not_of(' ') + 1);
        text += line + '\n';
    }
    return text;
}

}  // namespace ddeclient
