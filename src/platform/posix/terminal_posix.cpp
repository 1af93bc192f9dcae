#include <cerrno>
#include <poll.h>
#include <unistd.h>

#include "vimbo/engine/terminal.h"

namespace vimbo::platform {
void useBinaryStandardStreams() {}
bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }
bool standardOutputShowsColour() { return ::isatty(STDOUT_FILENO) == 1; }
// The failed write says EPIPE; a pipe without a reader also shows an error
// when polled, whatever the write left in errno.
bool standardOutputClosed() {
    const int error = errno;
    pollfd output{STDOUT_FILENO, POLLOUT, 0};
    return error == EPIPE || (::poll(&output, 1, 0) == 1 && (output.revents & (POLLERR | POLLHUP)) != 0);
}
}  // namespace vimbo::platform
