#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdio>

#include "vimbo/engine/terminal.h"

namespace vimbo::platform {
void useBinaryStandardStreams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}
bool standardErrorIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
bool standardOutputShowsColour() {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(output, &mode) == 0) return false;
    const DWORD virtualTerminal = 0x0004;  // ENABLE_VIRTUAL_TERMINAL_PROCESSING, missing from older headers
    return (mode & virtualTerminal) != 0 || SetConsoleMode(output, mode | virtualTerminal) != 0;
}
// No signal comes: the write into a pipe whose reader closed fails, and says why.
bool standardOutputClosed() {
    const int error = errno;
    const DWORD last = GetLastError();
    return error == EPIPE || last == ERROR_BROKEN_PIPE || last == ERROR_NO_DATA;
}
}  // namespace vimbo::platform
