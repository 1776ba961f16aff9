#include "shell/log_line.h"

#include <cstring>

namespace log_line {

namespace {

bool IsControl(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

}  // namespace

std::size_t Compose(char* out, std::size_t size, const char* prefix, const char* body,
                    std::size_t length)
{
    static const char Hex[] = "0123456789ABCDEF";
    std::size_t end = std::strlen(prefix);
    std::memcpy(out, prefix, end);
    // The LF and the NUL always fit behind the body.
    const std::size_t room = size - 2;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(body[i]);
        const std::size_t width = IsControl(c) ? 4 : 1;
        if (end + width > room)
            break;
        if (width == 1) {
            out[end++] = static_cast<char>(c);
        } else {
            out[end++] = '\\';
            out[end++] = 'x';
            out[end++] = Hex[c >> 4];
            out[end++] = Hex[c & 0xF];
        }
    }
    out[end++] = '\n';
    out[end] = '\0';
    return end;
}

}  // namespace log_line
