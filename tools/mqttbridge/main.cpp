// komvas-mqtt: publishes the values of KOMVAS's items to an MQTT broker. The configuration comes
// from komvas-mqtt.ini (or --config FILE) through the profile functions; --help describes it.
#include <winsock2.h>
#include <windows.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "tools/command_line.h"
#include "tools/mqttbridge/bridge.h"
#include "tools/mqttbridge/options.h"
#include "tools/mqttbridge/settings.h"
#include "tools/mqttbridge/text.h"

using namespace mqttbridge;

namespace {

HANDLE stopEvent = nullptr;

void onInterrupt(int)
{
    if (stopEvent)
        SetEvent(stopEvent);
}

// One console line with its time, in the ANSI code page as the console shows it, flushed at
// once so that a program reading the pipe sees it.
void say(const std::string& line)
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", t.wYear, t.wMonth,
                  t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    std::fputs((stamp + Ansi(line) + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// A profile call's strings: NUL-separated, ended by two NULs. The buffer grows until the whole
// answer fits (the call then returns less than its size minus 2).
template <typename Call>
std::vector<std::wstring> ProfileStrings(Call call)
{
    for (DWORD size = 4096;; size *= 4) {
        std::wstring buffer(size, L'\0');
        const DWORD length = call(&buffer[0], size);
        if (length + 2 < size || size > (1u << 26)) {
            std::vector<std::wstring> strings;
            for (std::size_t at = 0; at < length && buffer[at] != L'\0';) {
                const std::wstring one(buffer.c_str() + at);
                strings.push_back(one);
                at += one.size() + 1;
            }
            return strings;
        }
    }
}

bool Readable(const std::wstring& path)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES &&
           !(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

// The file's [MQTT] keys and [ITEMS] lines, read with the profile functions as KOMVAS reads
// KOMVAS.ini (the wide ones, so that names outside the ANSI code page survive in a UTF-8 file).
FileContent ReadFile(const std::wstring& path)
{
    FileContent content;
    const std::wstring mqtt = Wide(MqttSection);
    const auto keys = ProfileStrings([&](wchar_t* buffer, DWORD size) {
        return GetPrivateProfileStringW(mqtt.c_str(), nullptr, L"", buffer, size, path.c_str());
    });
    for (const std::wstring& key : keys) {
        const auto value = ProfileStrings([&](wchar_t* buffer, DWORD size) {
            return GetPrivateProfileStringW(mqtt.c_str(), key.c_str(), L"", buffer, size,
                                            path.c_str());
        });
        content.mqtt[Narrow(key)] = value.empty() ? std::string() : Narrow(value[0]);
    }
    const std::wstring itemsSection = Wide(ItemsSection);
    for (const std::wstring& line : ProfileStrings([&](wchar_t*buffer, DWORD size) {
             return GetPrivateProfileSectionW(itemsSection.c_str(), buffer, size, path.c_str());
         }))
        content.itemLines.push_back(Narrow(line));
    return content;
}

std::string ComputerName()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? Narrow(name) : std::string("pc");
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    const int exitCode = readCommandLine(command_line::Arguments(argc, argv), KOMVAS_VERSION,
                                         options, std::cout, std::cerr);
    if (exitCode != command_line::Run)
        return exitCode;

    // The profile functions look for a bare file name in the Windows folder: give them the
    // whole path.
    const std::string given = options.config.empty() ? DefaultFileName : options.config;
    const std::wstring relative = Wide(given, CP_ACP);
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = GetFullPathNameW(relative.c_str(), MAX_PATH, &path[0], nullptr);
    path.resize(length > 0 && length < MAX_PATH ? length : 0);
    const std::string shown = Narrow(relative);
    Settings settings;
    try {
        if (path.empty() || !Readable(path))
            throw SettingsError(shown + ": the configuration file cannot be read (komvas-mqtt "
                                        "--help shows what it holds)");
        settings = ReadSettings(shown, ReadFile(path), ComputerName(),
                                [](const std::string& file) { return Readable(Wide(file)); });
    } catch (const SettingsError& error) {
        std::fprintf(stderr, "komvas-mqtt: %s\n", Ansi(error.what()).c_str());
        return ExitBadArguments;
    }

    stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::signal(SIGINT, onInterrupt);
    // This thread's message queue, before DDEML needs it.
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);

    say("komvas-mqtt " KOMVAS_VERSION ": " + std::to_string(settings.items.size()) +
        " items to the broker at " + settings.host + ":" + std::to_string(settings.port) +
        " under " + settings.prefix + "/");
    {
        Bridge bridge(settings, say);
        bridge.run(stopEvent);
    }
    say("stopped");
    return ExitOk;
}
