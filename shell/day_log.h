#pragma once
// The rules of the dated log file beside the console: one file a local day, named after it, a
// time stamp in front of every console line, and the days a file is kept. Pure: the file calls
// stay in shell/log_file.cpp.
#include <string>

#include "shell/local_time.h"

namespace day_log {

// A day's file is deleted once its date lies more than this many days before today.
constexpr int KeptDays = 31;

// "KOMVAS-YYYYMMDD.log" of the day of `t`.
std::string FileName(const local_time::LocalTime& t);

// Whether a line logged at `now` belongs in another file than the one opened for `opened`: the
// local date has changed (either way, so that a clock set back starts that day's file too).
bool DayChanged(const local_time::LocalTime& opened, const local_time::LocalTime& now);

// Whether `name` is exactly the name of a day's file (the letters as FileName writes them, a
// date that exists) whose date lies more than KeptDays before the day of `today`. No other
// name is ever expired, whatever it looks like.
bool Expired(const std::string& name, const local_time::LocalTime& today);

// The bytes of the file for one console line: the time stamp, a TAB, then the line as the
// console receives it, every LF written as CR LF as the console's text mode writes it.
std::string FileLine(const local_time::LocalTime& now, const std::string& consoleLine);

}  // namespace day_log
