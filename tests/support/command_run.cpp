#include "support/command_run.h"

#include <cstdlib>

#include "shell_command.h"
#include "support/temp_dir.h"

#ifndef VIMBO_CLI
#error "VIMBO_CLI must name the command under test"
#endif

namespace vimbo::test {
namespace {

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
    std::string command = vimbo::cli::shellQuoted(VIMBO_CLI);
    for (const std::string& argument : arguments) command += " " + vimbo::cli::shellQuoted(argument);
    command += " >" + outFile + " 2>" + errFile;
    int status = vimbo::cli::runShellCommand(command);
#ifdef _WIN32
    // Under wine, starting cmd now and then fails outright (system() gives
    // -1 and the command never ran): that is the machine, not the program.
    for (int attempt = 0; status == -1 && attempt < 3; ++attempt) status = vimbo::cli::runShellCommand(command);
#endif
    return CommandOutcome{status, console(readFile(outFile)), console(readFile(errFile))};
}

}  // namespace vimbo::test
