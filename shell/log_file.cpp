#include "shell/log_file.h"

#include <windows.h>

#include <string>
#include <vector>

#include "resources/message_ids.h"
#include "shell/day_log.h"
#include "shell/local_time.h"
#include "shell/msg.h"

namespace log_file {

namespace {

bool started = false;
// The folder with its trailing separator, so that a later change of the current folder cannot
// move the files.
std::string folder;
HANDLE file = INVALID_HANDLE_VALUE;
// The day of the file open now, or of the attempt that failed; zero before the first line.
local_time::LocalTime openedDay;
// Set while lines are being kept or written, so that the message of a failure is not kept in
// its turn.
bool busy = false;

// The lines kept for the open file, as its bytes. A fixed buffer: lines are kept where an
// allocation may just have failed. 1 MiB holds the 10,000 lines of a large workbook's
// disconnect.
char pending[1 << 20];
std::size_t pendingSize = 0;

void Close()
{
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
}

void Failed(const std::string& name, DWORD error)
{
    Close();
    pendingSize = 0;
    Msg::Log(Msg::Warning, msgid::LogFileFailed, name.c_str(),
             Msg::ErrorText(static_cast<int>(error)));
}

// Deletes the day's files of this folder that are past keeping; nothing else.
void DeleteExpired(const local_time::LocalTime& today)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    // The pattern only narrows the search: the rule checks each name whole, since the system
    // also matches it against short names and without regard to letter case.
    const HANDLE search = FindFirstFileA((folder + "KOMVAS-*.log").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    for (const std::string& name : day_log::Expired(names, today))
        DeleteFileA((folder + name).c_str());
}

void Open(const local_time::LocalTime& today)
{
    openedDay = today;
    try {
        DeleteExpired(today);
    } catch (...) {
        // Out of memory: nothing is deleted this time.
    }
    const std::string name = day_log::FileName(today);
    // Appended to by every copy that starts on the day (a refused second copy leaves its lines
    // too), readable by an editor while KOMVAS runs; each write reaches the disk before
    // WriteFile returns.
    file = CreateFileA((folder + name).c_str(), FILE_APPEND_DATA,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Failed(name, GetLastError());
}

void WritePending()
{
    if (pendingSize == 0 || file == INVALID_HANDLE_VALUE)
        return;
    const DWORD size = static_cast<DWORD>(pendingSize);
    pendingSize = 0;
    DWORD written = 0;
    if (!WriteFile(file, pending, size, &written, nullptr) || written != size)
        Failed(day_log::FileName(openedDay), GetLastError());
}

}  // namespace

void Start()
{
    char current[MAX_PATH];
    const DWORD length = GetCurrentDirectoryA(sizeof current, current);
    folder.clear();
    if (length > 0 && length < sizeof current) {
        folder.assign(current, length);
        if (folder.back() != '\\')
            folder += '\\';
    }
    started = true;
}

void Keep(const char* consoleLine, std::size_t size)
{
    if (!started || busy)
        return;
    busy = true;
    try {
        const local_time::LocalTime now = local_time::Now();
        if (day_log::DayChanged(openedDay, now)) {
            WritePending();
            Close();
            Open(now);
        }
        if (file != INVALID_HANDLE_VALUE) {
            std::size_t length = day_log::FileLine(now, consoleLine, size, pending + pendingSize,
                                                   sizeof pending - pendingSize);
            if (length == 0) {
                WritePending();
                length = day_log::FileLine(now, consoleLine, size, pending, sizeof pending);
            }
            pendingSize += length;
        }
    } catch (...) {
        // Out of memory opening a day's file: the line stays on the console only.
    }
    busy = false;
}

void Flush()
{
    if (busy)
        return;
    busy = true;
    try {
        WritePending();
    } catch (...) {
        // Out of memory naming a file that failed: its message is not printed.
    }
    busy = false;
}

}  // namespace log_file

local_time::LocalTime local_time::Now()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    LocalTime t;
    t.year = now.wYear;
    t.month = now.wMonth;
    t.day = now.wDay;
    t.hour = now.wHour;
    t.minute = now.wMinute;
    t.second = now.wSecond;
    t.millisecond = now.wMilliseconds;
    return t;
}
