#include "shell/msg.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "shell/log_file.h"

Msg Msg::instance(GetModuleHandleA(nullptr));
Msg::FormatMessageFunction Msg::formatMessage = ::FormatMessageA;

namespace {
char systemText[1024];

// The range of the Windows Sockets error codes (WSABASEERR 10000 and the codes above it).
constexpr int WindowsSocketsFirst = 10000;
constexpr int WindowsSocketsLast = 11999;
}

void Msg::Log(int level, int id, ...)
{
    const char* prefix;
    FILE* stream;
    if (level == Fail) {
        prefix = "fail\t: ";
        stream = stderr;
    } else if (level == Warning) {
        prefix = "warning\t: ";
        stream = stderr;
    } else {
        prefix = "info\t: ";
        stream = stdout;
    }

    // One byte of the line always stays free, so the newline fits behind the longest text.
    char line[300];
    const int prefixLength = static_cast<int>(std::strlen(prefix));
    std::memcpy(line, prefix, prefixLength + 1);
    const int loaded = LoadStringA(instance.module, static_cast<UINT>(id), line + prefixLength,
                                   299 - prefixLength);
    int end = prefixLength + (loaded > 0 ? loaded : 0);
    line[end++] = '\n';
    line[end] = '\0';

    // Formatted once, for the console and for the day's file alike, without allocating: the
    // log is called where an allocation may have failed just before. A line too long for the
    // buffer (no message of the table makes one) is printed as it is and kept cut.
    char text[4096];
    va_list args, again;
    va_start(args, id);
    va_copy(again, args);
    const int length = std::vsnprintf(text, sizeof text, line, args);
    if (length >= 0 && length < static_cast<int>(sizeof text))
        std::fwrite(text, 1, static_cast<std::size_t>(length), stream);
    else
        std::vfprintf(stream, line, again);
    va_end(again);
    va_end(args);
    std::fflush(stream);
    if (length > 0)
        log_file::Write(text, std::min(static_cast<std::size_t>(length), sizeof text - 1));
}

const char* Msg::ErrorText(int code)
{
    const DWORD length =
        formatMessage(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr,
                      static_cast<DWORD>(code), 0x0400, systemText, 1023, nullptr);
    if (length == 0) {
        // Without a text of its own the line would end after the PLC name, or carry the text
        // of an earlier error; the number is what an operator can look up.
        const bool sockets = code >= WindowsSocketsFirst && code <= WindowsSocketsLast;
        std::snprintf(systemText, sizeof systemText, "%s %d",
                      sockets ? "Windows Sockets error" : "Windows error", code);
    }
    return systemText;
}
