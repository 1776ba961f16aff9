#pragma once
// The SYSTEM topic's Statistics item as komvas-dde status prints it. No Windows API.
#include <string>

namespace ddeclient {

// The table of the Statistics item (cells separated by TAB, rows by CR LF, a header row first)
// laid out for a console: each column as wide as its widest cell, two blanks between columns,
// cells of numbers right-aligned and all others left-aligned, one row to a line, each ending in
// '\n', no blanks at the ends of lines. A lone LF also ends a row; blank rows are left out.
std::string alignedTable(const std::string& table);

}  // namespace ddeclient
