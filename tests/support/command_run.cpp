#include "support/command_run.h"

#include <cstdlib>

#include "support/temp_dir.h"

#ifndef VIMBO_CLI
#error "VIMBO_CLI must name the command under test"
#endif

namespace vimbo::test {
namespace {

std::string quote(const std::string& argument) {
#ifdef _WIN32
    return "\"" + argument + "\"";
#else
    std::string quoted = "'";
    for (char c : argument) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
#endif
}

// Standard output is in text mode: on Windows each "\n" arrives as CR LF.
std::string console(std::string text) {
#ifdef _WIN32
    std::string::size_type at;
    while ((at = text.find("\r\n")) != std::string::npos) text.erase(at, 1);
#endif
    return text;
}

}  // namespace

CommandOutcome runVimbo(const std::vector<std::string>& arguments, const std::string& outFile,
                        const std::string& errFile) {
    std::string command = quote(VIMBO_CLI);
    for (const std::string& argument : arguments) command += " " + quote(argument);
    command += " >" + outFile + " 2>" + errFile;
#ifdef _WIN32
    // cmd /c drops the outer pair of quotes and keeps the rest as written.
    command = "\"" + command + "\"";
#endif
    int status = std::system(command.c_str());
#ifndef _WIN32
    if (WIFEXITED(status)) status = WEXITSTATUS(status);
#endif
    return CommandOutcome{status, console(readFile(outFile)), console(readFile(errFile))};
}

}  // namespace vimbo::test
