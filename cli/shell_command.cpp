#include "shell_command.h"

#include <cstdlib>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace vimbo::cli {

std::string shellQuoted(const std::string& argument) {
#ifdef _WIN32
    return "\"" + argument + "\"";
#else
    std::string quoted = "'";
    for (char c : argument) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
#endif
}

int runShellCommand(std::string command) {
#ifdef _WIN32
    // cmd /c drops the outer pair of quotes and keeps the rest as written.
    command = "\"" + command + "\"";
    return std::system(command.c_str());
#else
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

}  // namespace vimbo::cli
