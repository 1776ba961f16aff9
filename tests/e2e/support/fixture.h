#pragma once
// The common ground of the end-to-end tests: a server in its own folder whose PLCs sit on a
// bound, silent UDP port, so that their items stay "#EMPTY" (no answer arrives for the 500
// ticks, about 10 s, after which the link reports a time-out).
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/support/dde_client.h"
#include "tests/e2e/support/messages.h"
#include "tests/e2e/support/server.h"

namespace e2e {

class ServerTest : public testing::Test {
protected:
    std::string section(const std::string& name, const std::string& mode = "ASCII") const
    {
        return iniSection(name, plc.port(), mode);
    }

    // Starts the server and waits until it serves; the test stops if it does not.
    void startServing(const std::string& ini)
    {
        server.start(ini);
        ASSERT_TRUE(server.waitReady()) << server.transcript();
    }

    // The lines from the start up to message 208, or all of them if it has not come.
    std::vector<std::string> startUpTexts() const
    {
        std::vector<std::string> texts = server.texts();
        for (size_t i = 0; i < texts.size(); ++i)
            if (texts[i] == msg::ready)
                return {texts.begin(), texts.begin() + i + 1};
        return texts;
    }

    // The four lines before the configuration step, then `more`.
    static std::vector<std::string> afterRegistration(std::vector<std::string> more)
    {
        std::vector<std::string> all;
        for (const std::string* line : msg::startUpLines)
            all.push_back(*line);
        all.insert(all.end(), more.begin(), more.end());
        return all;
    }

    // Stops the server with END on SYSTEM and expects a normal end.
    void stopWithEnd()
    {
        const ToolResult end = runTool({"--topic", "SYSTEM", "execute", "END"});
        EXPECT_EQ(end.exitCode, 0);
        EXPECT_EQ(server.waitExit(), 0) << server.transcript();
    }

    // Lets the server's last lines arrive before the test counts them. The server logs inside
    // the transaction, before the client gets its answer, so a short moment is plenty.
    static void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(300)); }

    SilentPlc plc;
    Server server;
};

}  // namespace e2e
