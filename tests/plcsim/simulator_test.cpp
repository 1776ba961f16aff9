// The simulator serving on 127.0.0.1: answers, values, faults and the record of datagrams.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tools/plcsim/plcsim.h"
#include "tests/plcsim/test_support.h"

namespace plcsim {
namespace {

using namespace std::chrono_literals;
using test::bytes;
using test::Client;
using test::str;
using test::text;

using Clock = std::chrono::steady_clock;

const Bytes AsciiD100 = text("01WRDD100,03\r\n");
const Bytes BinaryD100 =
    bytes({0x11, 0x01, 0x00, 0x08, 0x00, 0x04, 0x00, 0x00, 0x00, 0x64, 0x00, 0x03});
const std::string AsciiD100Answer = "11OK000100020003\r\n";
const Bytes BinaryD100Answer = bytes({0x91, 0x00, 0x00, 0x06, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03});

class Serving : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = sim.start();
        sim.setWords(1, "D", 100, {1, 2, 3});
        client = std::make_unique<Client>(port);
    }
    std::string askAscii(const Bytes& command, int timeoutMs = 2000)
    {
        const auto got = client->ask(command, timeoutMs);
        return got ? str(*got) : "(no answer)";
    }

    Simulator sim;
    uint16_t port = 0;
    std::unique_ptr<Client> client;
};

TEST_F(Serving, StartsOnAFreeLoopbackPortAndAnswersAscii)
{
    EXPECT_NE(port, 0);
    EXPECT_EQ(sim.endpoint().address, test::Loopback);
    EXPECT_EQ(sim.endpoint().port, port);
    EXPECT_EQ(askAscii(AsciiD100), AsciiD100Answer);
}

TEST_F(Serving, AnswersBinaryAfterASwitchOfForm)
{
    sim.setForm(Form::Binary);
    EXPECT_EQ(sim.form(), Form::Binary);
    EXPECT_EQ(client->ask(BinaryD100), BinaryD100Answer);
}

TEST_F(Serving, ValuesSetWhileServingShowInTheNextAnswer)
{
    sim.setWord(1, "D", 101, 0xBEEF);
    EXPECT_EQ(askAscii(AsciiD100), "11OK0001BEEF0003\r\n");
    sim.setBit(1, "X", 201, true);
    EXPECT_EQ(askAscii(text("01BRDX201,002\r\n")), "11OK10\r\n");
    sim.assign("2D1:long=0x00010002");
    EXPECT_EQ(askAscii(text("02WRDD1,02\r\n")), "12OK00010002\r\n");
    sim.clearValues();
    EXPECT_EQ(askAscii(AsciiD100), "11OK000000000000\r\n");
}

TEST_F(Serving, AnswersEveryClientAtItsOwnPort)
{
    Client other(port);
    other.send(text("01WRDD101,01\r\n"));
    client->send(text("01WRDD102,01\r\n"));
    EXPECT_EQ(other.receive(), text("11OK0002\r\n"));
    EXPECT_EQ(client->receive(), text("11OK0003\r\n"));
}

TEST_F(Serving, RecordsEveryDatagramByteForByteWithTimeAndAnswer)
{
    const auto before = Clock::now();
    ASSERT_EQ(askAscii(AsciiD100), AsciiD100Answer);
    client->send(bytes({0x00, 0xFF}));
    ASSERT_TRUE(sim.waitForDatagrams(2, 2s));
    const auto after = Clock::now();

    const std::vector<Datagram> got = sim.datagrams();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].bytes, AsciiD100);
    EXPECT_TRUE(got[0].answered);
    EXPECT_EQ(str(got[0].answer), AsciiD100Answer);
    EXPECT_EQ(got[0].from.port, client->port());
    EXPECT_EQ(got[1].bytes, bytes({0x00, 0xFF}));
    EXPECT_EQ(got[1].answer.size(), 15u);
    EXPECT_LE(before, got[0].received);
    EXPECT_LE(got[0].received, got[1].received);
    EXPECT_LE(got[1].received, after);

    sim.clearDatagrams();
    EXPECT_EQ(sim.datagramCount(), 0u);
}

TEST_F(Serving, WaitingForDatagramsThatNeverComeEndsAtTheTimeout)
{
    const auto begin = Clock::now();
    EXPECT_FALSE(sim.waitForDatagrams(1, 200ms));
    const auto waited = Clock::now() - begin;
    EXPECT_GE(waited, 200ms);
    EXPECT_LT(waited, 2s);
}

TEST_F(Serving, WaitingReturnsOnceTheDatagramsArrive)
{
    std::thread sender([this] {
        std::this_thread::sleep_for(50ms);
        client->send(AsciiD100);
    });
    EXPECT_TRUE(sim.waitForDatagrams(1, 5s));
    sender.join();
}

// --- faults ---------------------------------------------------------------------------------

TEST_F(Serving, SilentModuleRecordsButNeverAnswers)
{
    sim.addFault(Fault::silent());
    EXPECT_FALSE(client->ask(AsciiD100, 300));
    ASSERT_EQ(sim.datagramCount(), 1u);
    EXPECT_FALSE(sim.datagrams()[0].answered);
    EXPECT_TRUE(sim.datagrams()[0].answer.empty());
    sim.clearFaults();
    EXPECT_EQ(askAscii(AsciiD100), AsciiD100Answer);
}

TEST_F(Serving, ErrorFaultAnswersWithTheGivenCodeInEitherForm)
{
    sim.addFault(Fault::error(0x2A));
    EXPECT_EQ(askAscii(AsciiD100), "11ER2AWRD0000\r\n");
    sim.setForm(Form::Binary);
    EXPECT_EQ(client->ask(BinaryD100), bytes({0x91, 0x2A, 0x00, 0x01, 0x00}));
}

TEST_F(Serving, GarbageHasTheAnswersLengthButNotItsStart)
{
    sim.setSeed(7);
    sim.addFault(Fault::garbage());
    for (int i = 0; i < 20; ++i) {
        const auto got = client->ask(AsciiD100);
        ASSERT_TRUE(got);
        EXPECT_EQ(got->size(), AsciiD100Answer.size());
        EXPECT_NE((*got)[0], '1');
    }
    sim.setForm(Form::Binary);
    const auto got = client->ask(BinaryD100);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->size(), BinaryD100Answer.size());
    EXPECT_NE((*got)[0], 0x91);
}

TEST_F(Serving, WrongLengthShortensOrLengthensTheDataAndKeepsCrLf)
{
    sim.addFault(Fault::wrongLength(-1, 1));
    EXPECT_EQ(askAscii(AsciiD100), "11OK00010002000\r\n");
    sim.addFault(Fault::wrongLength(+1, 1));
    EXPECT_EQ(askAscii(AsciiD100), "11OK0001000200030\r\n");
    sim.setForm(Form::Binary);
    sim.addFault(Fault::wrongLength(-1, 1));
    EXPECT_EQ(client->ask(BinaryD100),
              bytes({0x91, 0x00, 0x00, 0x06, 0x00, 0x01, 0x00, 0x02, 0x00}));
    sim.addFault(Fault::wrongLength(+1, 1));
    EXPECT_EQ(client->ask(BinaryD100),
              bytes({0x91, 0x00, 0x00, 0x06, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00}));
}

TEST_F(Serving, DelayedAnswersComeLateWhileOtherCommandsAreStillServed)
{
    sim.addFault(Fault::delay(400, 1));
    const auto sent = Clock::now();
    client->send(AsciiD100);
    EXPECT_FALSE(client->receive(150));  // not yet
    // The module keeps serving meanwhile.
    Client other(port);
    EXPECT_EQ(other.ask(text("01WRDD101,01\r\n")), text("11OK0002\r\n"));
    const auto late = client->receive(3000);
    ASSERT_TRUE(late);
    EXPECT_EQ(str(*late), AsciiD100Answer);
    EXPECT_GE(Clock::now() - sent, 400ms);
    EXPECT_EQ(sim.datagrams()[0].delayMs, 400);
}

TEST_F(Serving, CountedFaultsSpoilOnlyTheNextAnswers)
{
    sim.addFault(Fault::error(5, 2));
    EXPECT_EQ(askAscii(AsciiD100), "11ER05WRD0000\r\n");
    EXPECT_EQ(askAscii(AsciiD100), "11ER05WRD0000\r\n");
    EXPECT_EQ(askAscii(AsciiD100), AsciiD100Answer);
    sim.addFault(Fault::silent(1));
    EXPECT_FALSE(client->ask(AsciiD100, 300));
    EXPECT_EQ(askAscii(AsciiD100), AsciiD100Answer);
}

TEST_F(Serving, ScopedFaultsHitOnlyReadsCoveringTheirPoints)
{
    sim.addFault(Fault::error(9).at("D110"));
    EXPECT_EQ(askAscii(text("01WRDD100,10\r\n")).substr(0, 4), "11OK");  // D100 to D109
    EXPECT_EQ(askAscii(text("01WRDD100,11\r\n")), "11ER09WRD0000\r\n");  // reaches D110
    EXPECT_EQ(askAscii(text("01WRDD110,01\r\n")), "11ER09WRD0000\r\n");
    EXPECT_EQ(askAscii(text("01WRDD111,01\r\n")).substr(0, 4), "11OK");
    EXPECT_EQ(askAscii(text("02WRDD110,01\r\n")).substr(0, 4), "12OK");  // other CPU
    EXPECT_EQ(askAscii(text("01WRDW110,01\r\n")).substr(0, 4), "11OK");  // other device
    EXPECT_EQ(askAscii(text("Q\r\n")).substr(2, 4), "ER03");  // not a read: its own error
}

TEST_F(Serving, ScopedStretchesAndWordReadsOfBitDevicesMatchByPoint)
{
    sim.addFault(Fault::silent().at("M20", "M30"));
    EXPECT_FALSE(client->ask(text("01WRDM17,01\r\n"), 300));           // M17 to M32
    EXPECT_EQ(askAscii(text("01WRDM1,01\r\n")).substr(0, 4), "11OK");  // M1 to M16
    EXPECT_FALSE(client->ask(text("01BRDM30,001\r\n"), 300));
    EXPECT_EQ(askAscii(text("01BRDM31,010\r\n")).substr(0, 4), "11OK");
}

TEST_F(Serving, FaultsCombineOnOneAnswer)
{
    sim.addFault(Fault::error(3, 1));
    sim.addFault(Fault::wrongLength(-1, 1));
    EXPECT_EQ(askAscii(AsciiD100), "11ER03WRD000\r\n");
}

TEST_F(Serving, PerReadDemonstrationsStepAfterEveryAnsweredRead)
{
    sim.addDemo(parseDemo(DemoKind::Counter, "D100,64,per-read"));
    EXPECT_EQ(askAscii(AsciiD100), AsciiD100Answer);
    EXPECT_EQ(askAscii(AsciiD100), "11OK004100020003\r\n");
    EXPECT_EQ(askAscii(text("01XXXD100,03\r\n")).substr(0, 4), "11ER") << "not a read";
    EXPECT_EQ(askAscii(AsciiD100), "11OK008100020003\r\n");
}

TEST_F(Serving, StopsAndStartsAgain)
{
    EXPECT_THROW(sim.start(), std::logic_error);
    sim.stop();
    EXPECT_FALSE(sim.running());
    EXPECT_FALSE(client->ask(AsciiD100, 200));
    const uint16_t again = sim.start();
    Client second(again);
    EXPECT_EQ(second.ask(AsciiD100), text(AsciiD100Answer));  // the values survive
}

TEST_F(Serving, ATakenPortOrABadAddressIsAnError)
{
    Simulator other;
    EXPECT_THROW(other.start("127.0.0.1", port), std::runtime_error);
    EXPECT_THROW(other.start("localhost", 0), std::runtime_error);
    EXPECT_THROW(other.start("127.0.0.256", 0), std::runtime_error);
    EXPECT_FALSE(other.running());
}

// --- values and demonstrations through the API ----------------------------------------------

TEST(SimulatorValues, ReadBackByNameAndAddress)
{
    Simulator sim;
    sim.setWord(4, "W", 10001, 0x1234);
    EXPECT_EQ(sim.word(4, "w", 10001), 0x1234);
    EXPECT_EQ(sim.word(1, "W", 10001), 0);
    sim.setWord(1, "M", 17, 0x8001);  // M17 and M32
    EXPECT_TRUE(sim.bit(1, "M", 17));
    EXPECT_FALSE(sim.bit(1, "M", 18));
    EXPECT_TRUE(sim.bit(1, "M", 32));
    sim.setBit(1, "C", 5, true);
    EXPECT_TRUE(sim.bit(1, "CU", 5));
    sim.assign("D200:float=3.5");
    EXPECT_DOUBLE_EQ(sim.number("D200:float"), 3.5);
    EXPECT_DOUBLE_EQ(sim.number("D200"), 0x4060);
}

TEST(SimulatorValues, BadNamesAddressesAndCpusAreRefused)
{
    Simulator sim;
    EXPECT_THROW(sim.setWord(1, "Q", 1, 0), ParseError);
    EXPECT_THROW(sim.setWord(5, "D", 1, 0), ParseError);
    EXPECT_THROW(sim.setWord(0, "D", 1, 0), ParseError);
    EXPECT_THROW(sim.setWord(1, "D", 0, 0), ParseError);
    EXPECT_THROW(sim.setWords(1, "D", 262144, {1, 2}), ParseError);
    EXPECT_THROW(sim.word(1, "X", 71664), ParseError);  // 16 points do not fit
    EXPECT_THROW(sim.setBit(1, "D", 1, true), ParseError);
    EXPECT_THROW(sim.bit(1, "M", 262145), ParseError);
    EXPECT_THROW(sim.assign("D1=zz"), ParseError);
    EXPECT_THROW(sim.number("D1:text"), ParseError);
    EXPECT_THROW(sim.addFault(Fault::error(256)), ParseError);
    EXPECT_THROW(sim.addFault(Fault::delay(-1)), ParseError);
    EXPECT_THROW(sim.addFault(Fault::wrongLength(2)), ParseError);
    EXPECT_THROW(sim.addFault(Fault::silent(0)), ParseError);
}

// Polls until pred holds, for at most timeout.
template <typename Pred>
bool eventually(Pred pred, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (pred())
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return pred();
}

TEST(SimulatorDemos, CountersTogglesAndRampsChangeWhileServing)
{
    Simulator sim;
    sim.setWord(1, "D", 1, 41);
    sim.addDemo(parseDemo(DemoKind::Counter, "D1"));
    sim.addDemo(parseDemo(DemoKind::Toggle, "M1"));
    sim.addDemo(parseDemo(DemoKind::Ramp, "D2:float,saw,1,0,1000"));
    sim.start();
    EXPECT_TRUE(eventually([&] { return sim.number("D2:float") > 0; }, 1s));
    EXPECT_TRUE(eventually([&] { return sim.word(1, "D", 1) == 42 && sim.bit(1, "M", 1); }, 3s));
    EXPECT_TRUE(eventually([&] { return sim.word(1, "D", 1) == 43 && !sim.bit(1, "M", 1); }, 3s));
    sim.stop();
}

}  // namespace
}  // namespace plcsim
