#pragma once
// The rules of the dated log file beside the console: one file a local day, named after it, a
// time stamp in front of every console line, and the files kept. Pure: the file calls stay in
// shell/log_file.cpp.
#include <cstddef>
#include <string>
#include <vector>

#include "shell/local_time.h"

namespace day_log {

// The newest this many day's files are always kept; beyond them, a file is deleted once its date
// lies more than this many days before today.
constexpr int KeptDays = 31;

// "KOMVAS-YYYYMMDD.log" of the day of `t`.
std::string FileName(const local_time::LocalTime& t);

// Whether a line logged at `now` belongs in another file than the one opened for `opened`: the
// local date has changed (either way, so that a clock set back starts that day's file too).
bool DayChanged(const local_time::LocalTime& opened, const local_time::LocalTime& now);

// Which of a folder's file `names` to delete on the day of `today`. Only day's files count:
// exactly the names FileName writes (its letters, a date that exists). The KeptDays newest of
// them by the date in their names are kept whatever their dates, so that a clock set wrong (a
// year ahead, say) cannot erase the history; of the older ones, those dated more than KeptDays
// before today are deleted. No other name is ever deleted, whatever it looks like.
std::vector<std::string> Expired(const std::vector<std::string>& names,
                                 const local_time::LocalTime& today);

// Writes into `out` the bytes of the file for one console line (`length` bytes): the time stamp,
// a TAB, then the line as the console receives it, every LF written as CR LF as the console's
// text mode writes it. Returns their number, or 0 when they do not fit in `size` bytes. Does not
// allocate.
std::size_t FileLine(const local_time::LocalTime& now, const char* consoleLine,
                     std::size_t length, char* out, std::size_t size);

}  // namespace day_log
