#include "shell/log_file.h"

#include <windows.h>

#include <string>

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
// Set while a line is being kept, so that the message of a failure is not kept in its turn.
bool writing = false;

void Close()
{
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
}

void Failed(const std::string& name, DWORD error)
{
    Close();
    Msg::Log(Msg::Warning, msgid::LogFileFailed, name.c_str(),
             Msg::ErrorText(static_cast<int>(error)));
}

// Deletes the day's files of this folder that are past keeping; nothing else.
void DeleteExpired(const local_time::LocalTime& today)
{
    WIN32_FIND_DATAA found;
    // The pattern only narrows the search: each name is checked whole, since the system also
    // matches it against short names and without regard to letter case.
    const HANDLE search = FindFirstFileA((folder + "KOMVAS-*.log").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            day_log::Expired(found.cFileName, today))
            DeleteFileA((folder + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void Open(const local_time::LocalTime& today)
{
    openedDay = today;
    DeleteExpired(today);
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

void Write(const char* consoleLine, std::size_t size)
{
    if (!started || writing)
        return;
    writing = true;
    try {
        const local_time::LocalTime now = local_time::Now();
        if (day_log::DayChanged(openedDay, now)) {
            Close();
            Open(now);
        }
        if (file != INVALID_HANDLE_VALUE) {
            const std::string bytes = day_log::FileLine(now, std::string(consoleLine, size));
            DWORD written = 0;
            if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                           nullptr) ||
                written != bytes.size())
                Failed(day_log::FileName(openedDay), GetLastError());
        }
    } catch (...) {
        // Out of memory: the line stays on the console only.
    }
    writing = false;
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
