#include "tests/e2e/support/wine.h"

#include <unistd.h>

#include <cstdlib>

namespace e2e {

namespace {
WineSite site;
}

void setWineSite(const WineSite& newSite)
{
    site = newSite;
}

std::vector<std::string> wineCommand(const std::string& program)
{
    if (site.netns.empty())
        return {"wine", program};
    return {"ip", "netns", "exec", site.netns, "wine", program};
}

std::string komvasExe()
{
    return std::string(KOMVAS_E2E_BIN_DIR) + "/KOMVAS.exe";
}

std::string ddeClientExe()
{
    return std::string(KOMVAS_E2E_BIN_DIR) + "/komvas-dde.exe";
}

std::map<std::string, std::string> wineEnvironment()
{
    const char* prefix = std::getenv("WINEPREFIX");
    return {
        {"WINEPREFIX", !site.prefix.empty() ? site.prefix
                       : prefix             ? prefix
                                            : ""},
        {"WINEDEBUG", "-all"},
        {"LC_ALL", "ja_JP.UTF-8"},
        // No Mono or Gecko installation dialogs if the prefix ever gets updated.
        {"WINEDLLOVERRIDES", "mscoree,mshtml="},
    };
}

std::string wineSetupProblem()
{
    const char* prefix = std::getenv("WINEPREFIX");
    if (!prefix || !*prefix)
        return "WINEPREFIX is not set: export WINEPREFIX=<a prepared prefix> (and start a "
               "persistent wineserver with `wineserver -p` for a fast run)";
    if (access(prefix, F_OK) != 0)
        return std::string("WINEPREFIX ") + prefix + " does not exist";
    for (const std::string& program : {komvasExe(), ddeClientExe()})
        if (access(program.c_str(), R_OK) != 0)
            return program + " is missing: build the Windows programs first";
    return {};
}

}  // namespace e2e
