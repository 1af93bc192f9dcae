#include <unistd.h>

#include "vimbo/engine/terminal.h"

namespace vimbo::platform {
bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }
bool standardOutputShowsColour() { return ::isatty(STDOUT_FILENO) == 1; }
}  // namespace vimbo::platform
