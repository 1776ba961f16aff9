#pragma once
// Where the Windows programs are and how every wine process of the tests is started.
#include <map>
#include <string>
#include <vector>

namespace e2e {

// The programs of the Windows build.
std::string komvasExe();
std::string ddeClientExe();

// The environment of every wine process started by the tests: the test run's WINEPREFIX,
// WINEDEBUG=-all and a Japanese locale, so that the ANSI code page is 932 as on the plant's PCs.
std::map<std::string, std::string> wineEnvironment();

// Where the wine processes of the tests run: in the test's own network namespace with the test
// run's prefix, or, for a test that changes the network, in a namespace of that test's with a
// prefix (and wineserver) of its own.
struct WineSite {
    std::string netns;   // empty: the test's own
    std::string prefix;  // empty: the test run's WINEPREFIX
};
// Sets the site of the wine processes started from now on; WineSite{} goes back to the default.
void setWineSite(const WineSite& site);

// The command that starts a Windows program at the current site: "wine", or "ip netns exec NS
// wine".
std::vector<std::string> wineCommand(const std::string& program);

// What keeps the tests from running (no WINEPREFIX, programs not built), empty when nothing.
std::string wineSetupProblem();

}  // namespace e2e
