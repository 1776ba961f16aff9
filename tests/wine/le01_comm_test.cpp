// The PLC link driven tick by tick against a UDP socket of the test on 127.0.0.1 that plays the
// PLC's Ethernet interface module. Items are registered on a real topic server; their holders
// are replaced by recorders, so that every SetData and SetStatus of the link can be checked.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "dde/fam3_dde_server.h"
#include "link/le01_comm.h"
#include "link/link_mode.h"
#include "shell/msg.h"
#include "tests/support/capture.h"
#include "tests/support/dde_instance.h"

using testing_support::Capture;

namespace {

typedef std::vector<unsigned char> Bytes;

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Keeps everything the link hands to one item.
class Recorder : public fam3::PostBase {
public:
    Recorder(HSZ topic, HSZ item) : PostBase(topic, item) {}
    void SetData(const unsigned char* bytes, unsigned size) override
    {
        data.emplace_back(bytes, bytes + size);
    }
    void SetStatus(int code) override { statuses.push_back(code); }
    HDDEDATA GetDataHandle() override { return nullptr; }

    std::vector<Bytes> data;
    std::vector<int> statuses;
};

// Waits at most `ms` milliseconds for a datagram on `s`.
bool Readable(SOCKET s, int ms)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval limit = {ms / 1000, (ms % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &limit) == 1;
}

// The module's end: a datagram socket on 127.0.0.1 at a port the system picks.
class Module {
public:
    Module()
    {
        sock = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in self = {};
        self.sin_family = AF_INET;
        self.sin_addr.s_addr = inet_addr("127.0.0.1");
        bind(sock, reinterpret_cast<sockaddr*>(&self), sizeof self);
        int size = sizeof self;
        getsockname(sock, reinterpret_cast<sockaddr*>(&self), &size);
        port = ntohs(self.sin_port);
    }
    ~Module() { closesocket(sock); }

    // The next datagram from the link; empty when none arrives within `ms` milliseconds. The
    // link sends on loopback inside Poll, so a datagram it sent is there at once.
    Bytes Receive(int ms = 2000)
    {
        if (!Readable(sock, ms))
            return Bytes();
        char buffer[1024];
        int size = sizeof peer;
        const int n = recvfrom(sock, buffer, sizeof buffer, 0,
                               reinterpret_cast<sockaddr*>(&peer), &size);
        return n > 0 ? Bytes(buffer, buffer + n) : Bytes();
    }

    bool Silent() { return Receive(20).empty(); }

    void Reply(const Bytes& answer)
    {
        sendto(sock, reinterpret_cast<const char*>(answer.data()), int(answer.size()), 0,
               reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    }

    SOCKET sock;
    std::uint16_t port = 0;
    sockaddr_in peer = {};
};

const std::string Plc = "PLCLINK";

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA wsa;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
        dde.reset(new testing_support::DdeInstance);
        ASSERT_EQ(dde->result, static_cast<UINT>(DMLERR_NO_ERROR));
        server.reset(new fam3::FAM3DdeServer(Plc.c_str()));
        module.reset(new Module);
        ASSERT_NE(module->port, 0);
    }

    void TearDown() override
    {
        link.reset();
        server.reset();
        module.reset();
        for (HSZ hsz : handles)
            Dde::FreeStringHandle(hsz);
        dde.reset();
        WSACleanup();
    }

    void Open(int mode, const char* address = "127.0.0.1")
    {
        link.reset(new fam3::LE01Comm(server.get(), address, module->port, mode));
    }

    // Registers an item as an advise start would and gives it a recorder.
    Recorder& Add(const char* name)
    {
        const HSZ hsz = Dde::CreateStringHandle(name);
        handles.push_back(hsz);
        DdeTransaction t = {};
        t.type = XTYP_ADVSTART;
        t.format = CF_TEXT;
        t.conv = reinterpret_cast<HCONV>(1);
        t.hsz1 = server->GetTopic();
        t.hsz2 = hsz;
        EXPECT_EQ(server->AdviseStart(&t), 1) << name;
        fam3::DdeItem* item = server->items.at(hsz);
        Recorder* recorder = new Recorder(server->GetTopic(), hsz);
        item->holder.reset(recorder);
        return *recorder;
    }

    void Poll(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            link->Poll();
    }

    // Answers the command just received and lets the link take the answer on the next tick.
    void Answer(const Bytes& answer)
    {
        module->Reply(answer);
        ASSERT_TRUE(Readable(link->sock, 2000)) << "the answer reaches the link";
        Poll();
    }

    // Connects and, in AUTO mode, lets the probe go out.
    void Start(int mode)
    {
        Open(mode);
        Poll(); // Connect
        ASSERT_NE(link->sock, INVALID_SOCKET);
        Poll(); // Dispatch: probe, or the first command
    }

    std::unique_ptr<testing_support::DdeInstance> dde;
    std::unique_ptr<fam3::FAM3DdeServer> server;
    std::unique_ptr<Module> module;
    std::unique_ptr<fam3::LE01Comm> link;
    std::vector<HSZ> handles;
};

const Bytes Probe = {0x51, 0x01, 0x00, 0x02, 0x0D, 0x0A};

// The line that message `id` of the PLC makes, as the log writes it.
std::string Line(int level, int id)
{
    return Capture(level == 0 ? stdout : stderr, [&] { Msg::Log(level, id, Plc.c_str()); });
}

TEST_F(LinkTest, NewLinkHasNoSocketAndConnectsOnItsFirstPoll)
{
    Open(fam3::ModeBinary);
    EXPECT_EQ(link->sock, INVALID_SOCKET);
    EXPECT_EQ(link->tickCount, 500);
    EXPECT_EQ(link->state, nullptr);
    EXPECT_EQ(link->request.device, 0u);
    const std::string log = Capture(stderr, [&] { Poll(); });
    EXPECT_EQ(log, "");
    EXPECT_NE(link->sock, INVALID_SOCKET);
    EXPECT_EQ(link->tickCount, 0);
}

TEST_F(LinkTest, FixedModeWithoutItemsSendsNothing)
{
    Start(fam3::ModeAscii);
    Poll(10);
    EXPECT_TRUE(module->Silent());
}

TEST_F(LinkTest, AutoModeProbesAndAnAsciiReplyChoosesAscii)
{
    Recorder& d100 = Add("D100,W");
    Start(fam3::ModeAuto);
    EXPECT_EQ(module->Receive(), Probe);
    module->Reply(bytesOf("11ER06\r\n")); // an ASCII module's error line
    ASSERT_TRUE(Readable(link->sock, 2000));
    EXPECT_EQ(link->linkState, fam3::LinkState::Starting);
    EXPECT_EQ(Capture(stdout, [&] { Poll(); }), Line(0, 225));
    EXPECT_EQ(link->linkState, fam3::LinkState::Ascii);
    EXPECT_TRUE(module->Silent()) << "the first command goes out on the next tick";
    Poll();
    EXPECT_EQ(module->Receive(), bytesOf("01WRDD100,01\r\n"));
    Answer(bytesOf("11OKFFFE\r\n"));
    ASSERT_EQ(d100.data.size(), 1u);
    EXPECT_EQ(d100.data[0], (Bytes{0xFF, 0xFE}));
}

TEST_F(LinkTest, AutoModeTakesAnyOtherReplyForBinaryAndUnknownModesActAsAuto)
{
    const Bytes replies[] = {
        {0xD1, 0x03, 0x00, 0x00}, // a binary module's error answer
        {0x31, 0x31, 0x45},       // "11E": too short to be tested, binary
        {},                       // an empty datagram
    };
    for (const Bytes& reply : replies) {
        Add("D100,W");
        Start(7);
        EXPECT_EQ(module->Receive(), Probe);
        module->Reply(reply);
        ASSERT_TRUE(Readable(link->sock, 2000));
        EXPECT_EQ(Capture(stdout, [&] { Poll(); }), Line(0, 226));
        EXPECT_EQ(link->linkState, fam3::LinkState::Binary);
        Poll();
        const Bytes command = {0x11, 0x01, 0x00, 0x08, 0x00, 0x04,
                               0x00, 0x00, 0x00, 0x64, 0x00, 0x01};
        EXPECT_EQ(module->Receive(), command) << "reply of " << reply.size() << " bytes";
        link.reset();
        server.reset(new fam3::FAM3DdeServer(Plc.c_str()));
    }
}

TEST_F(LinkTest, SilentModuleGetsTheProbeAgainEvery501TicksAndItsItemsTimeOut)
{
    Recorder& d100 = Add("D100,W");
    Start(fam3::ModeAuto);
    EXPECT_EQ(module->Receive(), Probe);
    std::string log = Capture(stderr, [&] { Poll(500); });
    EXPECT_EQ(log, "");
    EXPECT_TRUE(module->Silent());
    EXPECT_TRUE(d100.statuses.empty());
    EXPECT_EQ(Capture(stderr, [&] { Poll(); }), Line(1, 224));
    EXPECT_EQ(d100.statuses, (std::vector<int>{fam3::StatusTimeOut}))
        << "no last value passes for a current one";
    EXPECT_EQ(link->linkState, fam3::LinkState::NoAnswer);
    Poll();
    EXPECT_EQ(module->Receive(), Probe);
}

TEST_F(LinkTest, AsciiCommandsFollowTheScheduleAndAnswersReachTheirItems)
{
    Recorder& d100 = Add("D100,W");
    Recorder& d101 = Add("D101,W");
    Recorder& x201 = Add("X00201,B");
    Recorder& text = Add("2D1,C3"); // CPU 2, three characters: two words
    Start(fam3::ModeAscii);
    EXPECT_EQ(module->Receive(), bytesOf("01WRDD100,02\r\n"));
    Answer(bytesOf("11OK12345678\r\n"));
    // The answer goes to D100 and D101 and the next command leaves in the same tick.
    EXPECT_EQ(d100.data.at(0), (Bytes{0x12, 0x34}));
    EXPECT_EQ(d101.data.at(0), (Bytes{0x56, 0x78}));
    EXPECT_EQ(module->Receive(), bytesOf("01BRDX201,001\r\n"));
    Answer(bytesOf("11OK1\r\n"));
    EXPECT_EQ(x201.data.at(0), (Bytes{1}));
    EXPECT_EQ(module->Receive(), bytesOf("02WRDD1,02\r\n"));
    Answer(bytesOf("12OK41424300\r\n"));
    EXPECT_EQ(text.data.at(0), (Bytes{'A', 'B', 'C'}));
    // The pass ends with the empty request; the next one starts on the following tick.
    EXPECT_TRUE(module->Silent());
    Poll();
    EXPECT_EQ(module->Receive(), bytesOf("01WRDD100,02\r\n"));
}

TEST_F(LinkTest, RejectedAnswersGiveTheRequestsItemsTheirCode)
{
    Recorder& d100 = Add("D100,W");
    Recorder& m1 = Add("M1,B");
    Start(fam3::ModeAscii);
    EXPECT_EQ(module->Receive(), bytesOf("01WRDD100,01\r\n"));
    Answer(bytesOf("11ER41 ABCDEF\r\n")); // the module's error 0x41
    EXPECT_EQ(d100.statuses, (std::vector<int>{65}));
    EXPECT_TRUE(m1.statuses.empty());
    EXPECT_EQ(module->Receive(), bytesOf("01BRDM1,001\r\n"));
    Answer(bytesOf("11OK10\r\n")); // one character too many
    EXPECT_EQ(m1.statuses, (std::vector<int>{fam3::StatusUninterpreted}));
    EXPECT_TRUE(d100.data.empty());
}

TEST_F(LinkTest, BinaryCommandsAndAnswers)
{
    Recorder& d100 = Add("D100,W");
    Recorder& l = Add("L10001,W");
    Start(fam3::ModeBinary);
    EXPECT_EQ(module->Receive(),
              (Bytes{0x11, 0x01, 0x00, 0x08, 0x00, 0x04, 0x00, 0x00, 0x00, 0x64, 0x00, 0x01}));
    Answer(Bytes{0x91, 0x00, 0x00, 0x02, 0xAB, 0xCD});
    EXPECT_EQ(d100.data.at(0), (Bytes{0xAB, 0xCD}));
    EXPECT_EQ(module->Receive(),
              (Bytes{0x01, 0x01, 0x00, 0x08, 0x00, 0x0C, 0x00, 0x00, 0x27, 0x11, 0x00, 0x10}));
    Answer(Bytes{0x81, 0x02, 0x00, 0x01, 0x00}); // end code 2
    EXPECT_EQ(l.statuses, (std::vector<int>{2}));
}

TEST_F(LinkTest, UnansweredCommandTimesOutOnThe501stTickForEveryItem)
{
    Recorder& d100 = Add("D100,W");
    Recorder& other = Add("2M1,B"); // another request, never sent
    Start(fam3::ModeBinary);
    ASSERT_EQ(module->Receive().size(), 12u);
    std::string log = Capture(stderr, [&] { Poll(500); });
    EXPECT_EQ(log, "");
    EXPECT_TRUE(d100.statuses.empty());
    EXPECT_EQ(Capture(stderr, [&] { Poll(); }), Line(1, 223));
    EXPECT_EQ(d100.statuses, (std::vector<int>{fam3::StatusTimeOut}));
    EXPECT_EQ(other.statuses, (std::vector<int>{fam3::StatusTimeOut}));
    EXPECT_EQ(link->linkState, fam3::LinkState::NoAnswer);
    // The socket stays open; polling goes on after the unanswered request.
    EXPECT_NE(link->sock, INVALID_SOCKET);
    Poll();
    EXPECT_EQ(module->Receive(),
              (Bytes{0x01, 0x02, 0x00, 0x08, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01}));
}

TEST_F(LinkTest, AnswerArrivingAfterItsTimeOutDoesNotShiftLaterAnswers)
{
    Recorder& d1 = Add("D1,W");
    Recorder& d200 = Add("D200,W"); // too far from D1 for one command: two requests
    Start(fam3::ModeBinary);
    const Bytes forD1 = {0x11, 0x01, 0x00, 0x08, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01};
    const Bytes forD200 = {0x11, 0x01, 0x00, 0x08, 0x00, 0x04, 0x00, 0x00, 0x00, 0xC8, 0x00, 0x01};
    ASSERT_EQ(module->Receive(), forD1);
    Capture(stderr, [&] { Poll(501); }); // time-out
    ASSERT_EQ(d1.statuses, (std::vector<int>{fam3::StatusTimeOut}));

    // D1's answer comes late, before the next command; it has D200's length and header.
    module->Reply(Bytes{0x91, 0x00, 0x00, 0x02, 0x00, 0x11});
    ASSERT_TRUE(Readable(link->sock, 2000));
    Poll();
    ASSERT_EQ(module->Receive(), forD200);
    Answer(Bytes{0x91, 0x00, 0x00, 0x02, 0x02, 0x22});
    Poll(); // the pass has ended; D1 again
    ASSERT_EQ(module->Receive(), forD1);
    Answer(Bytes{0x91, 0x00, 0x00, 0x02, 0x00, 0x11});

    EXPECT_EQ(d200.data, (std::vector<Bytes>{{0x02, 0x22}}));
    EXPECT_EQ(d1.data, (std::vector<Bytes>{{0x00, 0x11}}));
}

// Receive errors that the drain before a command must read past, as a datagram socket on
// Windows reports them while datagrams wait behind them.
int drainErrors[2];
int drainErrorsLeft = 0;

int WSAAPI ReceiveWithErrorsFirst(SOCKET s, char* buffer, int size, int flags)
{
    if (drainErrorsLeft > 0) {
        WSASetLastError(drainErrors[2 - drainErrorsLeft--]);
        return SOCKET_ERROR;
    }
    return recv(s, buffer, size, flags);
}

TEST_F(LinkTest, DrainBeforeACommandReadsPastResetAndOversizeErrors)
{
    Recorder& d1 = Add("D1,W");
    Recorder& d200 = Add("D200,W"); // a request of its own
    Start(fam3::ModeBinary);
    ASSERT_EQ(module->Receive().size(), 12u);
    Capture(stderr, [&] { Poll(501); }); // D1 times out

    // D1's late answer waits behind an ICMP reset and an oversized datagram.
    module->Reply(Bytes{0x91, 0x00, 0x00, 0x02, 0x00, 0x11});
    ASSERT_TRUE(Readable(link->sock, 2000));
    link->receive = ReceiveWithErrorsFirst;
    drainErrors[0] = WSAECONNRESET;
    drainErrors[1] = WSAEMSGSIZE;
    drainErrorsLeft = 2;
    Poll();
    EXPECT_EQ(drainErrorsLeft, 0);
    ASSERT_EQ(module->Receive().size(), 12u); // D200's command
    Answer(Bytes{0x91, 0x00, 0x00, 0x02, 0x02, 0x22});
    EXPECT_EQ(d200.data, (std::vector<Bytes>{{0x02, 0x22}}))
        << "the late answer to D1 was taken for D200's";
    EXPECT_TRUE(d1.data.empty());
}

TEST_F(LinkTest, LateAnswerIsNotTakenForTheProbesReply)
{
    Add("D100,W");
    Start(fam3::ModeAuto);
    ASSERT_EQ(module->Receive(), Probe);
    module->Reply(bytesOf("11ER06\r\n"));
    ASSERT_TRUE(Readable(link->sock, 2000));
    Capture(stdout, [&] { Poll(); }); // ASCII
    Poll();
    ASSERT_EQ(module->Receive(), bytesOf("01WRDD100,01\r\n"));
    Capture(stderr, [&] { Poll(501); }); // time-out: Dispatch probes again next tick

    module->Reply(bytesOf("11OK0011\r\n")); // the late answer, "OK" where a probe reply has "ER"
    ASSERT_TRUE(Readable(link->sock, 2000));
    Poll();
    ASSERT_EQ(module->Receive(), Probe);
    module->Reply(bytesOf("11ER06\r\n"));
    ASSERT_TRUE(Readable(link->sock, 2000));
    EXPECT_EQ(Capture(stdout, [&] { Poll(); }), Line(0, 225));
    Poll(); // the pass goes on after D100: nothing
    Poll();
    EXPECT_EQ(module->Receive(), bytesOf("01WRDD100,01\r\n"));
}

TEST_F(LinkTest, UnreadableAddressFailsToConnectAndIsRetried501TicksLater)
{
    Recorder& d100 = Add("D100,W");
    Open(fam3::ModeBinary, "192.168.0.300");
    std::string log = Capture(stderr, [&] { Poll(); });
    const std::string expected =
        "warning\t: " + Plc + " " + std::string(Msg::ErrorText(WSAEACCES)) + "\n";
    EXPECT_EQ(log, expected);
    EXPECT_EQ(link->sock, INVALID_SOCKET);
    EXPECT_EQ(d100.statuses, (std::vector<int>{fam3::StatusTimeOut}));
    EXPECT_EQ(link->linkState, fam3::LinkState::Unreachable);
    log = Capture(stderr, [&] { Poll(500); });
    EXPECT_EQ(log, "");
    log = Capture(stderr, [&] { Poll(); });
    EXPECT_EQ(log, expected);
    EXPECT_EQ(link->sock, INVALID_SOCKET);
}

TEST_F(LinkTest, FailedSendClosesTheSocketAndReconnectsAfterTheRetryInterval)
{
    Recorder& d100 = Add("D100,W");
    Start(fam3::ModeBinary);
    ASSERT_EQ(module->Receive().size(), 12u);
    Answer(Bytes{0x91, 0x00, 0x00, 0x02, 0x00, 0x01}); // then the pass ends
    EXPECT_EQ(link->linkState, fam3::LinkState::Binary);
    // The socket goes away under the link: the next send fails.
    closesocket(link->sock);
    std::string log = Capture(stderr, [&] { Poll(); });
    EXPECT_EQ(log.rfind("warning\t: " + Plc + " ", 0), 0u) << log;
    EXPECT_EQ(link->sock, INVALID_SOCKET);
    EXPECT_EQ(d100.statuses, (std::vector<int>{fam3::StatusTimeOut}));
    EXPECT_EQ(link->linkState, fam3::LinkState::Unreachable);
    Poll(500);
    EXPECT_EQ(link->sock, INVALID_SOCKET);
    Poll();
    EXPECT_NE(link->sock, INVALID_SOCKET);
    Poll(); // the pass goes on after D100, where it stopped: nothing
    EXPECT_TRUE(module->Silent());
    EXPECT_EQ(link->linkState, fam3::LinkState::Starting) << "connected again, nothing answered";
    Poll();
    EXPECT_EQ(module->Receive().size(), 12u);
    Answer(Bytes{0x91, 0x00, 0x00, 0x02, 0x00, 0x01});
    EXPECT_EQ(link->linkState, fam3::LinkState::Binary);
    EXPECT_EQ(link->statistics.linkFailures, 1u);
    EXPECT_EQ(link->statistics.answers, 2u);
}

} // namespace
