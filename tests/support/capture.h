#pragma once
// Captures what a piece of code writes to standard output or standard error of this Windows
// process.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

namespace testing_support {

// Runs `f` with `stream` sent to a temporary file opened in binary mode, and returns what was
// written (so without the CR that the runtime's text mode puts before each LF).
template <class F>
std::string Capture(FILE* stream, F f)
{
    const int fd = _fileno(stream);
    std::fflush(stream);
    const int saved = _dup(fd);
    char dir[MAX_PATH];
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "cap", 0, path);
    const int file = _open(path, _O_WRONLY | _O_TRUNC | _O_BINARY);
    _dup2(file, fd);
    _close(file);
    f();
    std::fflush(stream);
    _dup2(saved, fd);
    _close(saved);

    std::string text;
    if (FILE* in = std::fopen(path, "rb")) {
        char buffer[512];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
            text.append(buffer, n);
        std::fclose(in);
    }
    DeleteFileA(path);
    return text;
}

} // namespace testing_support
