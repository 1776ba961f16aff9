#include "shell/process.h"

#include <winsock2.h>

#include <csignal>
#include <cstdlib>
#include <float.h>

#include "dde/callback.h"
#include "dde/dde.h"
#include "dde/plc_dde_server.h"
#include "dde/system_topic.h"
#include "dde/wine_conversations.h"
#include "dde/wine_ddeml.h"
#include "link/le01_comm.h"
#include "resources/message_ids.h"
#include "shell/config_values.h"
#include "shell/config.h"
#include "shell/log_file.h"
#include "shell/msg.h"

namespace process {

std::map<HSZ, PLCDdeServer*> topicTable;
std::vector<fam3::LE01Comm*> linkList;
HSZ serviceHandle = nullptr;
HSZ systemTopic = nullptr;
HANDLE mutexHandle = nullptr;
std::atomic<bool> stopFlag(false);

namespace {

const char MutexName[] = "QELTRANO_4E21C7A9-0B3D-4F68-9A15-D7E2B60C8F34";
const UINT_PTR TimerId = 1;
const UINT TimerPeriodMs = 20;

// Brings everything up in its fixed order. Returns false after logging the failure.
bool StartUp()
{
    SetLastError(0);
    Msg::Log(Msg::Info, msgid::StartUp);

    // Conversions of PLC data must never trap, whatever the bytes hold.
    _controlfp(_MCW_EM, _MCW_EM);

    if (std::signal(SIGINT, StopRequest) == SIG_ERR) {
        Msg::Log(Msg::Fail, msgid::SignalFailed);
        return false;
    }
    if (std::atexit(ExitCleanup) != 0) {
        Msg::Log(Msg::Fail, msgid::AtexitFailed);
        return false;
    }

    mutexHandle = CreateMutexA(nullptr, TRUE, MutexName);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        Msg::Log(Msg::Fail, msgid::AlreadyRunning);
        return false;
    }

    WSADATA wsaData;
    // WSAStartup returns its error itself; WSAGetLastError is not set up when it fails.
    const int wsaResult = WSAStartup(MAKEWORD(2, 2), &wsaData);
    if (wsaResult != 0) {
        Msg::Log(Msg::Fail, msgid::WinsockFailed, Msg::ErrorText(wsaResult), wsaResult);
        return false;
    }
    Msg::Log(Msg::Info, msgid::WinsockOk);

    // Decided once: under Wine, DDEML needs the workarounds of dde/wine_ddeml.h.
    wine_ddeml::Detect();
    const UINT ddeResult = Dde::Initialize(DdeCallback, CBF_SKIP_CONNECT_CONFIRMS);
    if (ddeResult != DMLERR_NO_ERROR) {
        Msg::Log(Msg::Fail, msgid::DdemlFailed, static_cast<int>(ddeResult));
        return false;
    }
    Msg::Log(Msg::Info, msgid::DdemlOk);

    serviceHandle = Dde::CreateStringHandle(config::ServiceName);
    systemTopic = Dde::CreateStringHandle(config::SystemTopicName);
    if (serviceHandle == nullptr || systemTopic == nullptr ||
        Dde::NameService(serviceHandle, nullptr, DNS_REGISTER) == nullptr) {
        Msg::Log(Msg::Fail, msgid::ServiceFailed);
        return false;
    }
    wine_conversations::ServiceRegistered();
    Msg::Log(Msg::Info, msgid::ServiceOk);

    return Configure();
}

// Runs until the quit message; returns its exit code.
int MainLoop(UINT_PTR timer)
{
    MSG msg;
    msg.wParam = 0;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER) {
            if (stopFlag.load()) {
                KillTimer(nullptr, timer);
                PostQuitMessage(0);
                continue;
            }
            // The lines of the tick are written when it is done, all at once.
            const Msg::Gathering lines;
            for (fam3::LE01Comm* link : linkList)
                link->Poll();
            system_topic::PostStatistics();
        }
        DispatchMessageA(&msg);
        SetLastError(0);
    }
    return static_cast<int>(msg.wParam);
}

} // namespace

void StopRequest(int signal)
{
    if (signal != SIGINT && signal != SIGTERM)
        return;
    stopFlag.store(true);
    Beep(1792, 100);
}

void ExitCleanup()
{
    for (fam3::LE01Comm* link : linkList)
        delete link;
    linkList.clear();
    for (auto& entry : topicTable)
        delete entry.second;
    topicTable.clear();

    if (serviceHandle != nullptr)
        Dde::FreeStringHandle(serviceHandle);
    if (systemTopic != nullptr)
        Dde::FreeStringHandle(systemTopic);
    serviceHandle = systemTopic = nullptr;
    Dde::NameService(nullptr, nullptr, DNS_UNREGISTER);
    Dde::Uninitialize();
    WSACleanup();
    if (mutexHandle != nullptr)
        CloseHandle(mutexHandle);
    mutexHandle = nullptr;
}

int Run()
{
    // Every line from the start banner on is also kept in the day's file.
    log_file::Start();
    if (!StartUp())
        return -1;

    Msg::Log(Msg::Info, msgid::Ready);
    const UINT_PTR timer = SetTimer(nullptr, TimerId, TimerPeriodMs, nullptr);
    const int exitCode = MainLoop(timer);
    Msg::Log(Msg::Info, msgid::Ended, exitCode);
    return exitCode;
}

} // namespace process
