#pragma once
// The message log: every console line is a numbered text of the string table, printed with a
// level prefix ("info", "warning", "fail", a tab, a colon and a space). Info goes to standard
// output, warnings and failures to standard error; each line is flushed at once. Once the
// dated log file is started (shell/log_file.h), every line also goes there with its time stamp.
#include <windows.h>

class Msg {
public:
    enum Level { Info = 0, Warning = 1, Fail = 2 };

    // Formats the text of message `id` (printf style) with the values that follow and writes it
    // as one line. Level 2 is fail, 1 warning, any other value info. A text too long for the
    // 300-byte line is cut; an id without text prints the prefix alone.
    static void Log(int level, int id, ...);

    // The system's one-line text for a Windows or Windows Sockets error code, in a buffer shared
    // by every call, unchanged where the system has one. When it has none (Wine lacks many,
    // Windows a few), the text is the code in a form an operator can search for: "Windows
    // Sockets error N" for codes 10000 to 11999, "Windows error N" for any other.
    static const char* ErrorText(int code);

    // The system's lookup of those texts, FormatMessageA; tests put in one that finds none.
    typedef DWORD(WINAPI* FormatMessageFunction)(DWORD flags, LPCVOID source, DWORD id,
                                                 DWORD language, LPSTR buffer, DWORD size,
                                                 va_list* arguments);
    static FormatMessageFunction formatMessage;

private:
    explicit Msg(HMODULE module) : module(module) {}
    static Msg instance;
    HMODULE module;
};
