#pragma once
// The dated log file beside the console (the rules are shell/day_log.h): every console line,
// with its local time stamp, in "KOMVAS-YYYYMMDD.log" of the folder KOMVAS started in.
#include <cstddef>

namespace log_file {

// Takes the current folder as the home of the day's files. From here on every line kept is
// written; the first one opens the day's file, deleting the expired ones first.
void Start();

// Keeps one console line (its `size` bytes as printed, with its LF) for the day's file, time
// stamped now, until Flush. At a change of local date the lines kept so far are written to their
// day's file and the line starts the new day's. Never allocates, never throws; before Start it
// does nothing.
void Keep(const char* consoleLine, std::size_t size);

// Writes the lines kept since the last Flush with one write (more only when they exceed 1 MiB),
// through to the disk before it returns: a crash or a power cut loses at most the lines not yet
// flushed. When a file cannot be opened or written, message 229 says so once and lines are not
// kept until the next change of date, when the new day's file is tried.
void Flush();

}  // namespace log_file
