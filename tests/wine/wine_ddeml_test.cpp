// The moveable global handles of a DDE server under Wine, counted exactly: this process serves
// the topic through the real DDE callback, and komvas-dde.exe, in a process of its own, advises
// an item and requests it over and over. Wine's DDEML keeps one block per advise update and two
// per request in the server; with the workarounds of dde/wine_ddeml.h the count stays flat.
// Skipped where no such Wine runs the program (on Windows), failed instead where CI is "true".
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "dde/callback.h"
#include "dde/fam3_dde_server.h"
#include "dde/wine_ddeml.h"
#include "shell/config_values.h"
#include "shell/process.h"
#include "tests/support/dde_instance.h"
#include "tests/support/skip.h"

namespace {

// Moveable handles this process can still allocate, found by taking them all and giving them
// back (Wine's table holds 65,536).
unsigned FreeMoveableHandles()
{
    std::vector<HGLOBAL> taken;
    while (const HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE, 1))
        taken.push_back(handle);
    for (const HGLOBAL handle : taken)
        GlobalFree(handle);
    return static_cast<unsigned>(taken.size());
}

std::string BesideThisProgram(const char* file)
{
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of("\\/") + 1) + file;
}

// komvas-dde.exe running a script, its output thrown away.
class ScriptClient {
public:
    explicit ScriptClient(const std::string& script)
    {
        char folder[MAX_PATH], file[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        GetTempFileNameA(folder, "dde", 0, file);
        path = file;
        if (FILE* out = std::fopen(file, "wb")) {
            std::fputs(script.c_str(), out);
            std::fclose(out);
        }
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        input = CreateFileA(file, GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0,
                            nullptr);
        output = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                             nullptr);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input;
        startup.hStdOutput = startup.hStdError = output;
        std::string command = "\"" + BesideThisProgram("komvas-dde.exe") + "\" script";
        started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                 nullptr, &startup, &info) != 0;
    }
    ~ScriptClient()
    {
        if (started) {
            if (WaitForSingleObject(info.hProcess, 10000) != WAIT_OBJECT_0)
                TerminateProcess(info.hProcess, 1);
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
        }
        CloseHandle(input);
        CloseHandle(output);
        DeleteFileA(path.c_str());
    }
    bool Running() const
    {
        return started && WaitForSingleObject(info.hProcess, 0) != WAIT_OBJECT_0;
    }
    HANDLE Process() const { return info.hProcess; }

    bool started = false;

private:
    std::string path;
    HANDLE input = INVALID_HANDLE_VALUE, output = INVALID_HANDLE_VALUE;
    PROCESS_INFORMATION info = {};
};

class WineDdemlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!wine_ddeml::Detect())
            KOMVAS_SKIP_TEST("not a Wine whose DDEML needs the workarounds");
        ASSERT_EQ(dde.result, static_cast<UINT>(DMLERR_NO_ERROR));
        process::serviceHandle = Dde::CreateStringHandle(Service);
        process::systemTopic = Dde::CreateStringHandle(config::SystemTopicName);
        ASSERT_NE(Dde::NameService(process::serviceHandle, nullptr, DNS_REGISTER), nullptr);
        server = new fam3::FAM3DdeServer("PLC1");
        process::topicTable.emplace(server->GetTopic(), server);
    }

    void TearDown() override
    {
        for (auto& entry : process::topicTable)
            delete entry.second;
        process::topicTable.clear();
        if (process::serviceHandle != nullptr) {
            Dde::NameService(nullptr, nullptr, DNS_UNREGISTER);
            Dde::FreeStringHandle(process::serviceHandle);
            if (process::systemTopic != nullptr)
                Dde::FreeStringHandle(process::systemTopic);
        }
        process::serviceHandle = process::systemTopic = nullptr;
        wine_ddeml::Enable(false);
    }

    // Serves DDE for at most `ms` milliseconds or until the client ends, calling `each` between
    // messages.
    template <class Each>
    void Serve(const ScriptClient& client, DWORD ms, Each each)
    {
        const DWORD end = GetTickCount() + ms;
        while (client.Running() && static_cast<LONG>(end - GetTickCount()) > 0) {
            HANDLE process = client.Process();
            MsgWaitForMultipleObjects(1, &process, FALSE, 5, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            each();
        }
    }

    static constexpr const char* Service = "KOMVASHANDLES";
    testing_support::DdeInstance dde{DdeCallback, CBF_SKIP_CONNECT_CONFIRMS};
    fam3::FAM3DdeServer* server = nullptr;
};

TEST_F(WineDdemlTest, AdviseUpdatesAndRequestsLeaveNoMoveableHandleBehind)
{
    // Loops and requests in both text formats: the blocks left behind carry either format.
    std::string script =
        std::string("connect ") + Service + " PLC1\nadvise D1,W\nadvise D1,W 13\nwait 500\n";
    for (int i = 0; i < 100; ++i)
        script += i % 2 == 0 ? "request D1,W\n" : "request D1,W 13\n";
    script += "wait 3000\nquit\n";
    ScriptClient client(script);
    ASSERT_TRUE(client.started);

    // Once the client advises D1,W, every tick of the loop gives it a new value: one advise
    // update each.
    unsigned before = 0, updates = 0;
    unsigned short value = 0;
    Serve(client, 60000, [&] {
        const auto found = server->items.begin();
        if (found == server->items.end())
            return;
        if (before == 0)
            before = FreeMoveableHandles();
        ++value;
        const unsigned char data[2] = {static_cast<unsigned char>(value >> 8),
                                       static_cast<unsigned char>(value)};
        found->second->holder->SetData(data, 2);
        ++updates;
    });
    EXPECT_FALSE(client.Running()) << "the client's script did not end in time";
    const unsigned after = FreeMoveableHandles();
    ASSERT_GT(before, 0u) << "the client never advised";
    EXPECT_GT(updates, 100u);
    // A request's blocks are freed when the next transaction starts: the last one's may wait.
    const int taken = static_cast<int>(before) - static_cast<int>(after);
    EXPECT_LE(taken, 2) << updates << " advise updates and 100 requests took " << taken
                        << " moveable handles";
}

// Wine's DDEML makes the service and topic string handles of every conversation that starts and
// never frees them; KOMVAS gives them back when the conversation ends.
TEST_F(WineDdemlTest, ConversationsLeaveNoStringHandleBehind)
{
    std::string script;
    for (int i = 0; i < 50; ++i)
        script += std::string("connect ") + Service + " SYSTEM\ndisconnect\n";
    script += "quit\n";
    ScriptClient client(script);
    ASSERT_TRUE(client.started);
    Serve(client, 60000, [] {});
    EXPECT_FALSE(client.Running()) << "the client's script did not end in time";

    // References to the topic's string that this instance holds: each free that succeeds takes
    // one. Only the program's own handle may be left.
    int references = 0;
    while (references < 1000 && Dde::FreeStringHandle(process::systemTopic))
        ++references;
    process::systemTopic = nullptr;
    EXPECT_EQ(references, 1) << "after 50 conversations on SYSTEM";
}

} // namespace
