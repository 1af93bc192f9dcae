// Running a command line through the system's shell (sh, or cmd on Windows).
#pragma once

#include <string>

namespace vimbo::cli {

// One argument, quoted so that the shell passes it on as it is.
std::string shellQuoted(const std::string& argument);

// Runs the command and returns its exit status, or -1 when it did not end
// normally.
int runShellCommand(std::string command);

}  // namespace vimbo::cli
