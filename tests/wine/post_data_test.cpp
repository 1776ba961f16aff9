// The Windows value holders: their CF_TEXT data handles, the factories of the type tables, and
// their advise notifications as seen by a DDEML server and a client on a second thread of this
// process. Which readings post is tested on the host (value_change_test.cpp); here the wiring.
#include <gtest/gtest.h>

#include <windows.h>
#include <ddeml.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <typeinfo>
#include <vector>

#include "dde/dde.h"
#include "item/type_table.h"
#include "tests/support/dde_instance.h"
#include "value/post_data.h"

using namespace fam3;

namespace {

typedef std::vector<unsigned char> Bytes;

// A data handle's bytes; empty for the null handle. Frees the handle.
std::string takeBytes(HDDEDATA data)
{
    if (data == nullptr)
        return std::string();
    const DWORD size = Dde::GetData(data, nullptr, 0, 0);
    std::string bytes(size, '\0');
    Dde::GetData(data, &bytes[0], size, 0);
    DdeFreeDataHandle(data);
    return bytes;
}

// The text of a holder's handle, with the handle's size checked to be length + 1 (the NUL).
std::string textOf(PostBase& holder)
{
    const std::string bytes = takeBytes(holder.GetDataHandle());
    EXPECT_FALSE(bytes.empty()) << "null or empty data handle";
    if (bytes.empty())
        return "<none>";
    EXPECT_EQ(bytes.size() - 1, bytes.find('\0')) << "the only NUL must be the last byte";
    return bytes.substr(0, bytes.size() - 1);
}

void setData(PostBase& holder, const Bytes& data)
{
    holder.SetData(data.data(), static_cast<unsigned>(data.size()));
}

HDDEDATA CALLBACK quietCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    return nullptr;
}

// The process's DDEML instance for one test, with a topic and an item handle.
class HolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dde.reset(new testing_support::DdeInstance(
            quietCallback, APPCMD_FILTERINITS | CBF_FAIL_ALLSVRXACTIONS));
        ASSERT_EQ(static_cast<UINT>(DMLERR_NO_ERROR), dde->result);
        topic = Dde::CreateStringHandle("VALUETEST");
        item = Dde::CreateStringHandle("D0100,W");
        ASSERT_NE(nullptr, topic);
        ASSERT_NE(nullptr, item);
    }
    void TearDown() override
    {
        if (Dde::Id() == 0)
            return;
        Dde::FreeStringHandle(item);
        Dde::FreeStringHandle(topic);
        dde.reset();
    }
    std::unique_ptr<testing_support::DdeInstance> dde;
    HSZ topic = nullptr;
    HSZ item = nullptr;
};

} // namespace

typedef HolderTest HolderText;

TEST_F(HolderText, FreshHoldersShowEmptyInSevenBytes)
{
    std::vector<POSTBASEPTR> holders;
    for (const TypeEntry& row : bitTypeTable)
        holders.push_back(row.factory(topic, item));
    for (const TypeEntry& row : wordTypeTable)
        holders.push_back(row.factory(topic, item));
    holders.emplace_back(new PostData_BRD_STRING(topic, item));
    holders.emplace_back(new PostData_WRD_STRING(topic, item));
    for (POSTBASEPTR& holder : holders) {
        const std::string bytes = takeBytes(holder->GetDataHandle());
        EXPECT_EQ(std::string("#EMPTY", 7), bytes) << typeid(*holder).name();
    }
}

TEST_F(HolderText, StringsInLengthPlusOneBytes)
{
    PostData_WRD_STRING text(topic, item);
    setData(text, {'A', 'B', 'C', 0, 'D', 'E'});
    EXPECT_EQ(std::string("ABC", 4), takeBytes(text.GetDataHandle()));
    setData(text, {0, 'A'});
    EXPECT_EQ(std::string("(null)", 7), takeBytes(text.GetDataHandle()));

    PostData_BRD_STRING points(topic, item);
    points.SetStatus(StatusValid);
    EXPECT_EQ("(null)", textOf(points));
    setData(points, {1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 1, 0});  // 'A' 'B'
    EXPECT_EQ("AB", textOf(points));
}

TEST_F(HolderText, EveryCallMakesANewHandle)
{
    PostData_WRD_DWORD holder(topic, item);
    HDDEDATA first = holder.GetDataHandle();
    HDDEDATA second = holder.GetDataHandle();
    EXPECT_NE(nullptr, first);
    EXPECT_NE(first, second);
    EXPECT_EQ(std::string("#EMPTY", 7), takeBytes(first));
    EXPECT_EQ(std::string("#EMPTY", 7), takeBytes(second));
}

TEST_F(HolderText, NullHandleWithoutDdeml)
{
    PostData_WRD_WORD holder(topic, item);
    Dde::Uninitialize();
    EXPECT_EQ(nullptr, holder.GetDataHandle());
    holder.SetStatus(fam3::StatusTimeOut);  // posts into the void without harm
}

namespace {

struct FactoryCase {
    const char* item;  // an item name of the factory's row
    HolderFactory factory;
    Bytes data;
    const char* text;
};

// Bit-device points for register words, 16 per word, first point in bit 0.
Bytes pointsOf(const std::vector<std::uint16_t>& words)
{
    Bytes points;
    for (std::uint16_t w : words)
        for (unsigned k = 0; k < 16; ++k)
            points.push_back(w >> k & 1);
    return points;
}

} // namespace

typedef HolderTest HolderFactories;

TEST_F(HolderFactories, EachMakesItsRowsHolderWithItsWordOrder)
{
    const Bytes registers = {0x56, 0x78, 0x12, 0x34};  // 5678h 1234h
    const Bytes points = pointsOf({0x5678, 0x1234});
    const Bytes singleLow = {0x00, 0x00, 0x3F, 0xC0};  // 3FC00000h = 1.5, low register first
    const Bytes singleHigh = {0x3F, 0xC0, 0x00, 0x00};
    const Bytes dbl = {0xC0, 0x04, 0, 0, 0, 0, 0, 0};  // -2.5
    const FactoryCase cases[] = {
        {"M1,W", newBrdWord, pointsOf({0x8000}), "-32768"},
        {"M1,L", newBrdDWord, points, "305419896"},
        {"M1,F", newBrdFloat, pointsOf({0x0000, 0x3FC0}), "1.5"},
        {"M1,INT", newBrdBasicInt, pointsOf({0xFFFF}), "-1"},
        {"M1,LONG", newBrdBasicLong, points, "1450709556"},
        {"M1,FLOAT", newBrdBasicFloat, pointsOf({0x3FC0, 0x0000}), "1.5"},
        {"M1,DOUBLE", newBrdBasicDouble, pointsOf({0xC004, 0, 0, 0}), "-2.5"},
        {"D1,W", newWrdWord, {0xFF, 0xFF}, "-1"},
        {"D1,L", newWrdDWord, registers, "305419896"},
        {"D1,F", newWrdFloat, singleLow, "1.5"},
        {"D1,INT", newWrdBasicInt, {0x80, 0x00}, "-32768"},
        {"D1,LONG", newWrdBasicLong, registers, "1450709556"},
        {"D1,FLOAT", newWrdBasicFloat, singleHigh, "1.5"},
        {"D1,DOUBLE", newWrdBasicDouble, dbl, "-2.5"},
    };
    for (const FactoryCase& c : cases) {
        POSTBASEPTR holder = c.factory(topic, item);
        ASSERT_NE(nullptr, holder);
        setData(*holder, c.data);
        EXPECT_EQ(c.text, textOf(*holder)) << c.item;
    }
}

namespace {

// Counts the SetStatus calls that reach the virtual slot.
class StatusSpy : public PostData_WRD_FLOAT {
public:
    using PostData_WRD_FLOAT::PostData_WRD_FLOAT;
    void SetStatus(int code) override
    {
        codes.push_back(code);
        PostData_WRD_FLOAT::SetStatus(code);
    }
    std::vector<int> codes;
};

} // namespace

typedef HolderTest HolderNaN;

TEST_F(HolderNaN, GoesThroughTheVirtualSetStatus)
{
    StatusSpy spy(topic, item);
    setData(spy, {0x00, 0x00, 0x3F, 0xC0});  // 1.5
    setData(spy, {0x00, 0x01, 0x7F, 0x80});  // signalling NaN
    setData(spy, {0x00, 0x00, 0x7F, 0x80});  // +inf is a value
    EXPECT_EQ(std::vector<int>{fam3::StatusNotANumber}, spy.codes);
    EXPECT_EQ("inf", textOf(spy));
}

// ---------------------------------------------------------------------------------------------
// Advise loops. The test thread is the server: it registers a service and answers XTYP_ADVREQ
// with the holder's handle. A client instance on a second thread connects and advises the
// items. Both threads pump messages; every wait is bounded.

namespace {

const char* const serviceName = "KOMVASVALUETEST";
const char* const wordItemName = "D0001,W";
const char* const floatItemName = "D0003,F";

struct AdviseRecord {
    std::string item;
    std::string text;
};

// Server side, on the test thread.
HSZ serverTopic = nullptr;
PostBase* adviseHolders[2] = {nullptr, nullptr};
HSZ adviseItems[2] = {nullptr, nullptr};
std::vector<AdviseRecord> serverAdvreqs;  // texts rendered inside DdePostAdvise

// Client side, written on the client thread, read after it has ended or under the lock.
std::mutex clientLock;
std::vector<AdviseRecord> clientData;
std::vector<UINT> clientFormats;
std::atomic<DWORD> clientInstance{0};

std::string queryString(DWORD instance, HSZ hsz)
{
    char buffer[64] = {};
    DdeQueryStringA(instance, hsz, buffer, sizeof buffer, CP_WINANSI);
    return buffer;
}

HDDEDATA CALLBACK serverCallback(UINT type, UINT format, HCONV, HSZ hsz1, HSZ hsz2, HDDEDATA,
                                 ULONG_PTR, ULONG_PTR)
{
    switch (type) {
    case XTYP_CONNECT:
        return reinterpret_cast<HDDEDATA>(DdeCmpStringHandles(hsz1, serverTopic) == 0);
    case XTYP_ADVSTART:
        return reinterpret_cast<HDDEDATA>(format == CF_TEXT);
    case XTYP_ADVREQ:
        for (int i = 0; i < 2; ++i) {
            if (adviseHolders[i] != nullptr && DdeCmpStringHandles(hsz2, adviseItems[i]) == 0) {
                HDDEDATA data = adviseHolders[i]->GetDataHandle();
                std::string bytes(64, '\0');
                const DWORD size = Dde::GetData(data, &bytes[0], 64, 0);
                bytes.resize(size > 0 ? size - 1 : 0);
                serverAdvreqs.push_back({queryString(Dde::Id(), hsz2), bytes});
                return data;
            }
        }
        return nullptr;
    default:
        return nullptr;
    }
}

HDDEDATA CALLBACK clientCallback(UINT type, UINT format, HCONV, HSZ, HSZ hsz2, HDDEDATA data,
                                 ULONG_PTR, ULONG_PTR)
{
    if (type != XTYP_ADVDATA)
        return nullptr;
    std::string bytes(64, '\0');
    const DWORD size = data != nullptr ? DdeGetData(data, reinterpret_cast<LPBYTE>(&bytes[0]),
                                                    64, 0)
                                       : 0;
    bytes.resize(size);
    const std::string name = queryString(clientInstance, hsz2);
    std::lock_guard<std::mutex> guard(clientLock);
    clientData.push_back({name, bytes});
    clientFormats.push_back(format);
    return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

struct ClientThread {
    HANDLE stop = nullptr;
    std::atomic<int> linked{0};  // 0 pending, 1 both loops started, -1 failed
};

DWORD WINAPI clientMain(void* parameter)
{
    ClientThread& self = *static_cast<ClientThread*>(parameter);
    DWORD instance = 0;
    if (DdeInitializeA(&instance, clientCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
        self.linked = -1;
        return 1;
    }
    clientInstance = instance;
    HSZ service = DdeCreateStringHandleA(instance, serviceName, CP_WINANSI);
    HSZ topic = DdeCreateStringHandleA(instance, "VALUETEST", CP_WINANSI);
    HSZ items[2] = {DdeCreateStringHandleA(instance, wordItemName, CP_WINANSI),
                    DdeCreateStringHandleA(instance, floatItemName, CP_WINANSI)};
    HCONV conv = DdeConnect(instance, service, topic, nullptr);
    bool ok = conv != nullptr;
    for (HSZ item : items) {
        if (ok)
            ok = DdeClientTransaction(nullptr, 0, conv, item, CF_TEXT, XTYP_ADVSTART, 5000,
                                      nullptr) != nullptr;
        // Let the extra acknowledgement of a transaction pass before the next one.
        MSG msg;
        const DWORD until = GetTickCount() + 100;
        while (GetTickCount() < until) {
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            Sleep(5);
        }
    }
    self.linked = ok ? 1 : -1;

    // Pump until told to stop, at most 30 s.
    const DWORD deadline = GetTickCount() + 30000;
    while (GetTickCount() < deadline) {
        const DWORD wait = MsgWaitForMultipleObjects(1, &self.stop, FALSE, 50, QS_ALLINPUT);
        if (wait == WAIT_OBJECT_0)
            break;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    if (conv != nullptr)
        DdeDisconnect(conv);
    for (HSZ item : items)
        DdeFreeStringHandle(instance, item);
    DdeFreeStringHandle(instance, topic);
    DdeFreeStringHandle(instance, service);
    DdeUninitialize(instance);
    return 0;
}

// Pumps the test thread's messages until `done` holds or `milliseconds` pass.
template<class Done>
bool pumpUntil(Done done, DWORD milliseconds)
{
    const DWORD deadline = GetTickCount() + milliseconds;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        if (done())
            return true;
        if (GetTickCount() >= deadline)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

std::size_t clientCount()
{
    std::lock_guard<std::mutex> guard(clientLock);
    return clientData.size();
}

class HolderAdvise : public ::testing::Test {
protected:
    void SetUp() override
    {
        serverAdvreqs.clear();
        clientData.clear();
        clientFormats.clear();
        dde.reset(new testing_support::DdeInstance(
            serverCallback,
            APPCLASS_STANDARD | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS));
        ASSERT_EQ(static_cast<UINT>(DMLERR_NO_ERROR), dde->result);
        service = Dde::CreateStringHandle(serviceName);
        serverTopic = Dde::CreateStringHandle("VALUETEST");
        adviseItems[0] = Dde::CreateStringHandle(wordItemName);
        adviseItems[1] = Dde::CreateStringHandle(floatItemName);
        ASSERT_NE(nullptr, Dde::NameService(service, nullptr, DNS_REGISTER));
        word.reset(new PostData_WRD_WORD(serverTopic, adviseItems[0]));
        single.reset(new PostData_WRD_FLOAT(serverTopic, adviseItems[1]));
        adviseHolders[0] = word.get();
        adviseHolders[1] = single.get();

        client = new ClientThread;
        client->stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread = CreateThread(nullptr, 0, clientMain, client, 0, nullptr);
        ASSERT_NE(nullptr, thread);
        ASSERT_TRUE(pumpUntil([this] { return client->linked != 0; }, 10000));
        ASSERT_EQ(1, client->linked.load()) << "advise loops not started";
        pumpUntil([] { return false; }, 100);
        serverAdvreqs.clear();
    }
    void TearDown() override
    {
        bool ended = true;
        if (thread != nullptr) {
            SetEvent(client->stop);
            ended = pumpUntil(
                [this] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, 10000);
            EXPECT_TRUE(ended) << "client thread did not end";
            CloseHandle(thread);
        }
        if (ended && client != nullptr) {  // a thread still running keeps using it
            CloseHandle(client->stop);
            delete client;
        }
        adviseHolders[0] = adviseHolders[1] = nullptr;
        word.reset();
        single.reset();
        if (Dde::Id() != 0) {
            Dde::NameService(service, nullptr, DNS_UNREGISTER);
            Dde::FreeStringHandle(adviseItems[0]);
            Dde::FreeStringHandle(adviseItems[1]);
            Dde::FreeStringHandle(serverTopic);
            Dde::FreeStringHandle(service);
        }
        dde.reset();
    }

    std::vector<std::string> advreqTexts(const char* itemName) const
    {
        std::vector<std::string> texts;
        for (const AdviseRecord& r : serverAdvreqs)
            if (r.item == itemName)
                texts.push_back(r.text);
        return texts;
    }

    std::unique_ptr<testing_support::DdeInstance> dde;
    HSZ service = nullptr;
    POSTBASEPTR word;
    POSTBASEPTR single;
    ClientThread* client = nullptr;
    HANDLE thread = nullptr;
};

typedef std::vector<std::string> Texts;

} // namespace

TEST_F(HolderAdvise, PostsOnlyChangesAndRendersTheNewStateInsideThePost)
{
    setData(*word, {0xFF, 0xFF});
    setData(*word, {0xFF, 0xFF});  // same value: no post
    word->SetStatus(fam3::StatusTimeOut);
    word->SetStatus(fam3::StatusTimeOut);  // same status: no post
    setData(*word, {0xFF, 0xFF});  // the value before the time-out: posts again
    EXPECT_EQ((Texts{"-1", "#TMOUT", "-1"}), advreqTexts(wordItemName));
    EXPECT_TRUE(advreqTexts(floatItemName).empty());

    // The client gets the same texts, NUL included, as CF_TEXT.
    ASSERT_TRUE(pumpUntil([] { return clientCount() >= 3; }, 5000)) << clientCount();
    pumpUntil([] { return false; }, 100);
    std::lock_guard<std::mutex> guard(clientLock);
    ASSERT_EQ(3u, clientData.size());
    const char* expected[] = {"-1", "#TMOUT", "-1"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(wordItemName, clientData[i].item);
        EXPECT_EQ(std::string(expected[i], std::strlen(expected[i]) + 1), clientData[i].text);
        EXPECT_EQ(static_cast<UINT>(CF_TEXT), clientFormats[i]);
    }
}

TEST_F(HolderAdvise, NaNPostsOnceAsStatus)
{
    const Bytes nan = {0x00, 0x00, 0x7F, 0xC0};
    setData(*single, {0x00, 0x00, 0x3F, 0xC0});  // 1.5
    setData(*single, nan);
    setData(*single, nan);
    setData(*single, {0x00, 0x00, 0x80, 0x00});  // -0.0 ...
    setData(*single, {0x00, 0x00, 0x00, 0x00});  // ... then +0.0: no post
    setData(*single, {0x00, 0x00, 0x3F, 0xC0});
    EXPECT_EQ((Texts{"1.5", "#NaN", "-0", "1.5"}), advreqTexts(floatItemName));
}

TEST_F(HolderAdvise, StatusZeroOnAFreshHolderPostsItsZero)
{
    word->SetStatus(StatusValid);
    word->SetStatus(StatusValid);
    EXPECT_EQ(Texts{"0"}, advreqTexts(wordItemName));
}
