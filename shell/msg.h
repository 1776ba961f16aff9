#pragma once
// The message log: every console line is a numbered text of the string table, printed with a
// level prefix ("info", "warning", "fail", a tab, a colon and a space). Info goes to standard
// output, warnings and failures to standard error. The texts are CP932 on every PC, whatever
// its language for non-Unicode programs: a stream redirected to a file or a pipe receives CP932
// bytes, a console the same text as UTF-16. Once the dated log file is started
// (shell/log_file.h), every line also goes there with its time stamp.
#include <windows.h>

class Msg {
public:
    enum Level { Info = 0, Warning = 1, Fail = 2 };

    // Formats the text of message `id` (printf style) with the values that follow and writes it
    // as one line. Level 2 is fail, 1 warning, any other value info. A text too long for the
    // 300-byte line is cut; an id without text prints the prefix alone. Control characters in
    // the values show as \xHH (shell/log_line.h). Written at once, unless a Gathering lives.
    static void Log(int level, int id, ...);

    // While one lives (the outermost, where they nest), lines are gathered and written when it
    // ends: the day's file's with one write, then the console's with one write for each run of
    // lines of one stream. The DDE callback and the timer tick each hold one, so that the many lines
    // of one moment (a disconnect that deletes 10,000 items) hold up no other client for a
    // disk write each.
    class Gathering {
    public:
        Gathering();
        ~Gathering();
        Gathering(const Gathering&) = delete;
        Gathering& operator=(const Gathering&) = delete;
    };

    // The system's one-line text for a Windows or Windows Sockets error code, as CP932 like the
    // messages, in a buffer shared by every call, unchanged where the system has one. When it
    // has none (Wine lacks many, Windows a few), the text is the code in a form an operator can
    // search for: "Windows Sockets error N" for codes 10000 to 11999, "Windows error N" for any
    // other.
    static const char* ErrorText(int code);

    // The system's lookup of those texts, FormatMessageW; tests put in one that finds none.
    typedef DWORD(WINAPI* FormatMessageFunction)(DWORD flags, LPCVOID source, DWORD id,
                                                 DWORD language, LPWSTR buffer, DWORD size,
                                                 va_list* arguments);
    static FormatMessageFunction formatMessage;

private:
    explicit Msg(HMODULE module) : module(module) {}
    static Msg instance;
    HMODULE module;
};
