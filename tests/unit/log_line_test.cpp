// The console line of a message: the values filled in cannot forge a line.
#include <gtest/gtest.h>

#include <string>

#include "shell/log_line.h"

namespace {

TEST(LogLine, ControlBytesOfTheTextShowEscapedEveryOtherByteAsItIs)
{
    struct Case {
        std::string body;
        std::size_t size;  // of the output buffer
        std::string line;
    };
    const Case cases[] = {
        {"PLC1 D100,W", 64, "info\t: PLC1 D100,W\n"},
        // An item name that would end the line and print one of its own.
        {"PLC1 D1\r\nwarning\t: X", 64, "info\t: PLC1 D1\\x0D\\x0Awarning\\x09: X\n"},
        {std::string("\x00\x01\x1B[2J\x1F\x7F", 8), 64, "info\t: \\x00\\x01\\x1B[2J\\x1F\\x7F\n"},
        // CP932 names keep their bytes: 0x5C is the second byte of 表 and ソ, and stays.
        {"\x95\x5C\x83\x5C \\x0A \x80\xA0\xFF ~", 64, "info\t: \x95\x5C\x83\x5C \\x0A \x80\xA0\xFF ~\n"},
        {"", 64, "info\t: \n"},
        // Cut where the buffer ends, never inside an escape; the LF always stays.
        {"ABCDEFGH", 12, "info\t: ABC\n"},
        {"AB\nCD", 14, "info\t: AB\n"},
        {"AB\nCD", 15, "info\t: AB\\x0A\n"},
    };
    for (const Case& c : cases) {
        char out[64];
        const std::size_t length =
            log_line::Compose(out, c.size, "info\t: ", c.body.data(), c.body.size());
        EXPECT_EQ(std::string(out, length), c.line) << "body " << testing::PrintToString(c.body);
        EXPECT_EQ(out[length], '\0');
    }
}

}  // namespace
