// The message log against the real string table: prefixes, streams, formatting and the
// system texts of error codes.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "resources/message_ids.h"
#include "shell/msg.h"
#include "tests/support/capture.h"

using testing_support::Capture;

namespace {

std::string Out(int level, int id) { return Capture(stdout, [&] { Msg::Log(level, id); }); }
std::string Err(int level, int id) { return Capture(stderr, [&] { Msg::Log(level, id); }); }

} // namespace

TEST(MsgLevels, InfoAndUnknownLevelsGoToStandardOutput)
{
    const std::string banner = "Start up FA-M3 Dynamic Data Exchange Server. Created by R.Ambrosek.";
    EXPECT_EQ(Out(0, 200), "info\t: " + banner + "\n");
    EXPECT_EQ(Out(5, 200), "info\t: " + banner + "\n");
    EXPECT_EQ(Out(-1, 205), "info\t: WinSock DLL initialize -> OK\n");
    EXPECT_EQ(Err(0, 200), "");
}

TEST(MsgLevels, WarningsAndFailuresGoToStandardError)
{
    EXPECT_EQ(Err(1, 212), "warning\t: DDE server service register -> FAILURE\n");
    EXPECT_EQ(Err(2, 212), "fail\t: DDE server service register -> FAILURE\n");
    EXPECT_EQ(Out(1, 212), "");
    EXPECT_EQ(Out(2, 212), "");
}

TEST(MsgFormat, ValuesFillThePlaceholders)
{
    EXPECT_EQ(Capture(stdout, [] { Msg::Log(0, 209, -7); }),
              "info\t: DDEML initialize -> FAILURE(-7)\n");
    EXPECT_EQ(Capture(stderr, [] { Msg::Log(2, 204, "Text", 10091); }),
              "fail\t: WinSock DLL initialize -> FAILURE Text(10091)\n");
    EXPECT_EQ(Capture(stderr, [] { Msg::Log(1, 222, "PLC1", "Access denied. "); }),
              "warning\t: PLC1 Access denied. \n");
}

TEST(MsgFormat, ExtraValuesAreIgnored)
{
    // 214 has one placeholder; the item name that follows it is not printed.
    const std::string line = Capture(stderr, [] { Msg::Log(1, 214, "PLC1", "D100,W"); });
    ASSERT_GE(line.size(), 15u);
    EXPECT_EQ(line.substr(0, 15), "warning\t: PLC1 ");
    EXPECT_EQ(line.find("D100"), std::string::npos);
}

TEST(MsgFormat, AnIdWithoutTextPrintsThePrefixAlone)
{
    EXPECT_EQ(Out(0, msgid::FirstId - 1), "info\t: \n");
    EXPECT_EQ(Err(2, msgid::LastId + 1), "fail\t: \n");
}

TEST(MsgJapanese, TextsArriveInCp932)
{
    // 終了。(0)
    EXPECT_EQ(Capture(stdout, [] { Msg::Log(0, 206, 0); }),
              "info\t: \x8F\x49\x97\xB9\x81\x42(0)\n");
    // 二重起動です。
    EXPECT_EQ(Err(2, 203), "fail\t: \x93\xF1\x8F\x64\x8B\x4E\x93\xAE\x82\xC5\x82\xB7\x81\x42\n");
    // %s 設定完了。
    EXPECT_EQ(Capture(stdout, [] { Msg::Log(0, 228, "PLC1"); }),
              "info\t: PLC1 \x90\xDD\x92\xE8\x8A\xAE\x97\xB9\x81\x42\n");
}

TEST(MsgJapanese, EveryMessageOfTheTableHasText)
{
    for (int id = msgid::FirstId; id <= msgid::LastId; ++id) {
        char text[300];
        EXPECT_GT(LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof text), 0) << id;
    }
}

TEST(MsgErrorText, GivesTheSystemTextOnOneLine)
{
    const std::string text = Msg::ErrorText(WSAEACCES);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);
}

TEST(MsgErrorText, KeepsTheSystemsTextUnchanged)
{
    char system[1024] = {0};
    ASSERT_NE(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr,
                             ERROR_FILE_NOT_FOUND, 0x0400, system, 1023, nullptr),
              0u);
    EXPECT_EQ(std::string(Msg::ErrorText(ERROR_FILE_NOT_FOUND)), system);
}

namespace {

DWORD WINAPI NoSystemText(DWORD, LPCVOID, DWORD, DWORD, LPWSTR, DWORD, va_list*)
{
    return 0;
}

} // namespace

TEST(MsgErrorText, ACodeWithoutTextGivesItsNumberNeverAnEarlierText)
{
    const std::string known = Msg::ErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(known.empty());
    // What a pulled cable gives where the system has no text for WSAENETUNREACH.
    Msg::formatMessage = NoSystemText;
    const std::string unreachable = Msg::ErrorText(WSAENETUNREACH);
    Msg::formatMessage = ::FormatMessageW;
    EXPECT_EQ(unreachable, "Windows Sockets error 10051");
    EXPECT_EQ(std::string(Msg::ErrorText(11999)), "Windows Sockets error 11999");
    EXPECT_EQ(std::string(Msg::ErrorText(0x7FFF1234)), "Windows error 2147422772");
    EXPECT_EQ(std::string(Msg::ErrorText(9999)), "Windows error 9999");
    EXPECT_EQ(std::string(Msg::ErrorText(12000)), "Windows error 12000");
    EXPECT_EQ(std::string(Msg::ErrorText(ERROR_FILE_NOT_FOUND)), known);
}
