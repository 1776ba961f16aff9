#include "shell/msg.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "shell/log_file.h"
#include "shell/log_line.h"

Msg Msg::instance(GetModuleHandleA(nullptr));
Msg::FormatMessageFunction Msg::formatMessage = ::FormatMessageW;

namespace {

// The code page of every console line: the messages have always been Japanese text in it, and
// the day's files and the programs reading redirected streams expect it.
constexpr UINT TextCodePage = 932;

char systemText[1024];

// The range of the Windows Sockets error codes (WSABASEERR 10000 and the codes above it).
constexpr int WindowsSocketsFirst = 10000;
constexpr int WindowsSocketsLast = 11999;

// Writes `length` UTF-16 units of `text` (at most 1024) as CP932 into `out` with a NUL behind,
// cut before the first character that does not fit in `size` bytes.
void ToCp932(const wchar_t* text, int length, char* out, int size)
{
    char converted[2 * 1024];
    length = std::min(length, 1024);
    const int bytes = length > 0 ? WideCharToMultiByte(TextCodePage, 0, text, length, converted,
                                                       sizeof converted, nullptr, nullptr)
                                 : 0;
    int end = 0;
    while (end < bytes) {
        const int width = IsDBCSLeadByteEx(TextCodePage, static_cast<BYTE>(converted[end])) ? 2 : 1;
        if (end + width > size - 1)
            break;
        end += width;
    }
    std::memcpy(out, converted, static_cast<std::size_t>(end));
    out[end] = '\0';
}

// Lines are gathered while this is above zero (Msg::Gathering).
int gathering = 0;

// The console lines gathered, all for one stream: a line for the other stream writes them
// first, so that a window or a file that shows both streams keeps their order.
char consolePending[1 << 16];
std::size_t consolePendingSize = 0;
FILE* consoleStream = nullptr;

HANDLE HandleOf(FILE* stream)
{
    return GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
}

// Whether the stream is a console rather than a file or a pipe; asked once for each stream.
bool IsConsole(FILE* stream)
{
    static int known[2] = {-1, -1};
    int& console = known[stream == stderr ? 1 : 0];
    if (console < 0) {
        DWORD mode = 0;
        console = GetConsoleMode(HandleOf(stream), &mode) ? 1 : 0;
    }
    return console == 1;
}

// Shows CP932 lines (each ended by LF) on a console as UTF-16, each ended by CR LF as the
// runtime's text mode ends it: the console then shows the Japanese text whatever the PC's code
// pages, on any Windows with a Japanese font.
void WriteConsoleLines(HANDLE console, const char* bytes, std::size_t size)
{
    wchar_t wide[8192];
    int used = 0;
    const auto write = [&] {
        DWORD written = 0;
        if (used > 0)
            WriteConsoleW(console, wide, static_cast<DWORD>(used), &written, nullptr);
        used = 0;
    };
    for (std::size_t begin = 0; begin < size;) {
        const void* lf = std::memchr(bytes + begin, '\n', size - begin);
        const std::size_t end = lf ? static_cast<const char*>(lf) - bytes : size;
        // A line is at most 4 KiB: it always fits in an empty buffer.
        const int length = static_cast<int>(end - begin);
        if (used + length + 2 > static_cast<int>(sizeof wide / sizeof wide[0]))
            write();
        if (length > 0)
            used += MultiByteToWideChar(TextCodePage, 0, bytes + begin, length, wide + used,
                                        static_cast<int>(sizeof wide / sizeof wide[0]) - used);
        wide[used++] = L'\r';
        wide[used++] = L'\n';
        begin = end + 1;
    }
    write();
}

void FlushConsole()
{
    if (consolePendingSize == 0)
        return;
    if (IsConsole(consoleStream)) {
        WriteConsoleLines(HandleOf(consoleStream), consolePending, consolePendingSize);
    } else {
        std::fwrite(consolePending, 1, consolePendingSize, consoleStream);
        std::fflush(consoleStream);
    }
    consolePendingSize = 0;
}

void KeepForConsole(FILE* stream, const char* line, std::size_t size)
{
    if (stream != consoleStream || consolePendingSize + size > sizeof consolePending)
        FlushConsole();
    consoleStream = stream;
    std::memcpy(consolePending + consolePendingSize, line, size);
    consolePendingSize += size;
}

// The file first: a line on the console is on the disk too.
void Flush()
{
    log_file::Flush();
    FlushConsole();
}

}  // namespace

Msg::Gathering::Gathering()
{
    ++gathering;
}

Msg::Gathering::~Gathering()
{
    if (--gathering == 0)
        Flush();
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

    // The text as CP932 whatever the PC's code page, cut where a 300-byte line with the prefix
    // and the newline ends (one byte of it always stays free).
    wchar_t wide[300];
    const int loaded = LoadStringW(instance.module, static_cast<UINT>(id), wide, 300);
    char format[300];
    ToCp932(wide, loaded, format, 299 - static_cast<int>(std::strlen(prefix)));

    // Formatted once, for the console and for the day's file alike, without allocating: the
    // log is called where an allocation may have failed just before. A line too long for the
    // buffers (no message of the table makes one) is cut.
    char body[4096];
    va_list args;
    va_start(args, id);
    const int length = std::vsnprintf(body, sizeof body, format, args);
    va_end(args);
    char line[4096];
    const std::size_t size = log_line::Compose(
        line, sizeof line, prefix, body,
        length > 0 ? std::min(static_cast<std::size_t>(length), sizeof body - 1) : 0);

    KeepForConsole(stream, line, size);
    log_file::Keep(line, size);
    if (gathering == 0)
        Flush();
}

const char* Msg::ErrorText(int code)
{
    wchar_t wide[1024];
    const DWORD length =
        formatMessage(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr,
                      static_cast<DWORD>(code), 0x0400, wide, 1023, nullptr);
    if (length == 0) {
        // Without a text of its own the line would end after the PLC name, or carry the text
        // of an earlier error; the number is what an operator can look up.
        const bool sockets = code >= WindowsSocketsFirst && code <= WindowsSocketsLast;
        std::snprintf(systemText, sizeof systemText, "%s %d",
                      sockets ? "Windows Sockets error" : "Windows error", code);
    } else {
        ToCp932(wide, static_cast<int>(length), systemText, sizeof systemText);
    }
    return systemText;
}
