#pragma once
// Where the Windows programs are and how every wine process of the tests is started.
#include <map>
#include <string>

namespace e2e {

// The programs of the Windows build.
std::string komvasExe();
std::string ddeClientExe();

// The environment of every wine process started by the tests: the test run's WINEPREFIX,
// WINEDEBUG=-all and a Japanese locale, so that the ANSI code page is 932 as on the plant's PCs.
std::map<std::string, std::string> wineEnvironment();

// What keeps the tests from running (no WINEPREFIX, programs not built), empty when nothing.
std::string wineSetupProblem();

}  // namespace e2e
