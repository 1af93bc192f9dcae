#include "support/command_run.h"

#include "vimbo/engine/child_process.h"

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

CommandOutcome runVimbo(const std::vector<std::string>& arguments, const std::string& input) {
    vimbo::platform::ChildProcess child;
    child.arguments.push_back(VIMBO_CLI);
    child.arguments.insert(child.arguments.end(), arguments.begin(), arguments.end());
    child.input = input;
    child.keep = std::size_t{1} << 30;
    vimbo::platform::ChildOutcome outcome = vimbo::platform::runChild(child);
    // Under wine a program now and then fails to start at all: that is the
    // machine, not the program.
    for (int attempt = 0; !outcome.started && attempt < 3; ++attempt) outcome = vimbo::platform::runChild(child);
    return CommandOutcome{outcome.status, console(outcome.output), console(outcome.errors)};
}

bool gitAvailable() {
    const vimbo::platform::ChildOutcome outcome = vimbo::platform::runChild({{"git", "--version"}, "", "", ""});
    return outcome.started && outcome.status == 0;
}

}  // namespace vimbo::test
