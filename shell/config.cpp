#include "shell/config.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dde/fam3_dde_server.h"
#include "dde/system_topic.h"
#include "link/le01_comm.h"
#include "resources/message_ids.h"
#include "shell/config_values.h"
#include "shell/msg.h"
#include "shell/process.h"

namespace {

const int ConfigurationError = msgid::SectionFailed;

std::string IniPath()
{
    const DWORD length = GetCurrentDirectoryA(0, nullptr);
    std::string directory(length, '\0');
    const DWORD written = GetCurrentDirectoryA(length, &directory[0]);
    directory.resize(written < length ? written : 0);
    return directory + "\\KOMVAS.ini";
}

// Every section name, each followed by its NUL, and a final NUL. The buffer grows until the
// whole list fits, so that no section of a long file goes unseen.
std::vector<char> SectionNames(const std::string& path)
{
    std::vector<char> names(1024);
    for (;;) {
        const DWORD size = static_cast<DWORD>(names.size());
        const DWORD copied = GetPrivateProfileSectionNamesA(names.data(), size, path.c_str());
        // A list that did not fit comes back cut, with the length size - 2.
        if (copied < size - 2)
            break;
        names.assign(names.size() * 2, '\0');
    }
    return names;
}

// Sets up the server and the link of one section and hands them to the topic table and the
// link list. Throws the message id 213 on a configuration error; what it created is deleted.
void ConfigureSection(const char* section, const std::string& path)
{
    if (config::IsSystemSectionName(section))
        throw ConfigurationError;

    char buffer[config::TextBufferSize];
    GetPrivateProfileStringA(section, config::IpKey, config::DefaultIp, buffer, sizeof buffer,
                             path.c_str());
    const std::string ipText = config::ValueText(buffer, sizeof buffer);
    const char* const ip = ipText.c_str();
    const std::uint16_t port = config::PortNumber(
        GetPrivateProfileIntA(section, config::PortKey, config::DefaultPort, path.c_str()));
    GetPrivateProfileStringA(section, config::ModeKey, config::DefaultMode, buffer,
                             sizeof buffer, path.c_str());
    const std::optional<int> mode = config::ModeNumber(config::ValueText(buffer, sizeof buffer));
    if (!mode)
        throw ConfigurationError;
    const int modeNumber = *mode;

    std::unique_ptr<fam3::FAM3DdeServer> server;
    try {
        server.reset(new fam3::FAM3DdeServer(section));
    } catch (const PLCDdeServerException&) {
        // DDEML would not make a topic of the name (too long for a string handle, say).
        throw ConfigurationError;
    }
    std::unique_ptr<fam3::LE01Comm> link(new fam3::LE01Comm(server.get(), ip, port, modeNumber));
    link->linkStateChanged = system_topic::LinkStateChanged;

    // String handles compare without regard to letter case, so this also refuses a name that
    // repeats an earlier one in other letters.
    const HSZ topic = server->GetTopic();
    if (process::topicTable.count(topic) != 0)
        throw ConfigurationError;

    process::topicTable.emplace(topic, server.get());
    server.release();
    process::linkList.push_back(link.get());
    link.release();
    Msg::Log(Msg::Info, msgid::SectionReady, section);
}

} // namespace

bool Configure()
{
    const std::string path = IniPath();
    const std::vector<char> names = SectionNames(path);
    for (const char* section = names.data(); *section != '\0';
         section += std::strlen(section) + 1) {
        try {
            ConfigureSection(section, path);
        } catch (int id) {
            Msg::Log(Msg::Fail, id, section);
            return false;
        }
    }
    return !process::linkList.empty();
}
