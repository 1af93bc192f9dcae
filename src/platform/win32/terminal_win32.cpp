#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "vimbo/engine/terminal.h"

namespace vimbo::platform {
bool standardErrorIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
}  // namespace vimbo::platform
