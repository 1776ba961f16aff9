// The console line of a message: no value filled in can forge a line.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "shell/log_line.h"

TEST(LogLine, ControlBytesOfTheTextShowEscapedEveryOtherByteAsItIs)
{
    const std::tuple<std::string, std::size_t, std::string> cases[] = {
        {"PLC1 D1\r\nwarning\t: X", 64, "info\t: PLC1 D1\\x0D\\x0Awarning\\x09: X\n"},
        {std::string("\x00\x01\x1B[2J\x1F\x7F", 8), 64, "info\t: \\x00\\x01\\x1B[2J\\x1F\\x7F\n"},
        // CP932 names keep their bytes: 0x5C is the second byte of 表 and of ソ.
        {"\x95\x5C\x83\x5C \\x0A \x80\xA0\xFF ~", 64,
         "info\t: \x95\x5C\x83\x5C \\x0A \x80\xA0\xFF ~\n"},
        // Cut where the output ends, never inside an escape; the LF stays.
        {"ABCDEFGH", 12, "info\t: ABC\n"},
        {"AB\nCD", 14, "info\t: AB\n"},
        {"AB\nCD", 15, "info\t: AB\\x0A\n"},
    };
    for (const auto& [body, size, line] : cases) {
        char out[64];
        const std::size_t length =
            log_line::Compose(out, size, "info\t: ", body.data(), body.size());
        EXPECT_EQ(std::string(out, length + 1), line + '\0') << testing::PrintToString(body);
    }
}
