#pragma once
// The dated log file beside the console (the rules are shell/day_log.h): every console line,
// with its local time stamp, in "KOMVAS-YYYYMMDD.log" of the folder KOMVAS started in.
#include <cstddef>

namespace log_file {

// Takes the current folder as the home of the day's files. From here on every line written is
// also kept; the first one opens the day's file, deleting the expired ones first.
void Start();

// Appends one console line (its `size` bytes as printed, with its LF) to the day's file,
// written through at once. At a change of local date the line goes to the new day's file. When
// a file cannot be opened or written, message 229 says so once and lines are not kept until the
// next change of date, when the new day's file is tried. Never throws; before Start it does
// nothing.
void Write(const char* consoleLine, std::size_t size);

}  // namespace log_file
