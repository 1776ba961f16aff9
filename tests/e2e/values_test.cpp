// Values on their way from the PLC link to the DDE clients.
#include "tests/e2e/support/fixture.h"

namespace e2e {
namespace {

// The link waits 500 ticks of 20 ms for an answer: about 10 s.
constexpr milliseconds linkTimeout{10000};

using Values = ServerTest;

TEST_F(Values, ItemsOfASilentPlcTurnToTimeOutAndAnIdleClientIsToldSo)
{
    startServing(section("PLC1"));
    // The client gets no input while it waits: its DDE messages must be served meanwhile.
    DdeClient idle("PLC1");
    ASSERT_EQ(idle.command("advise D100,W"), "ok");
    ASSERT_EQ(idle.request("D100,W"), "#EMPTY");

    EXPECT_TRUE(server.waitForLine(msg::timeOut("PLC1"), linkTimeout + milliseconds(10000)))
        << server.transcript();
    EXPECT_TRUE(idle.waitForEvent("update D100,W #TMOUT")) << idle.transcript();
    DdeClient other("PLC1");
    EXPECT_EQ(other.request("D100,W"), "#TMOUT");
}

}  // namespace
}  // namespace e2e
