#pragma once
// The state the whole process shares: the servers by topic, the links in configuration order,
// the service and system topic handles, the single-instance mutex and the stop flag.
#include <windows.h>
#include <ddeml.h>

#include <atomic>
#include <map>
#include <vector>

class PLCDdeServer;
namespace fam3 {
class LE01Comm;
}

namespace process {

// Owns the servers, ordered by topic handle value.
extern std::map<HSZ, PLCDdeServer*> topicTable;
// Owns the links, in the order of the configuration file's sections.
extern std::vector<fam3::LE01Comm*> linkList;
extern HSZ serviceHandle;
extern HSZ systemTopic;
extern HANDLE mutexHandle;
// Set from the console control thread or the DDE callback, read by the main loop.
extern std::atomic<bool> stopFlag;

// Asks the main loop to end: SIGINT (2) and SIGTERM (15) set the stop flag and beep, any other
// number does nothing.
void StopRequest(int signal);

// Releases everything start-up acquired, in reverse dependency order; tolerates what was never
// acquired. Registered with atexit.
void ExitCleanup();

// Start-up, main loop and the message that ends them; returns the process exit code.
int Run();

} // namespace process
