#pragma once
// The console line of a message, as the console and the day's file both receive it. Pure: the
// message log (shell/msg.cpp) loads and formats the text.
#include <cstddef>

namespace log_line {

// Writes into `out` (`size` bytes, room for the prefix, one character, LF and NUL at least) the
// level prefix, then the formatted text `body` (`length` bytes), then LF, and a NUL behind them;
// returns the length without the NUL. Control bytes of the body (below 0x20, and 0x7F) are
// written as \xHH, so that no value filled into a message (an item name a client chose, a
// system text) can end the line, start one of its own or hide part of it; the texts of the
// string table hold none. Every other byte is kept as it is: the body is CP932, whose
// characters hold bytes above 0x7F and 0x5C (the backslash) as their second byte. A body too
// long for `out` is cut before the first byte or escape that would not fit.
std::size_t Compose(char* out, std::size_t size, const char* prefix, const char* body,
                    std::size_t length);

}  // namespace log_line
