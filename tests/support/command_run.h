// Runs the vimbo command as a separate process in the current directory.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vimbo::test {

struct CommandOutcome {
    int status;  // -1 when a signal ended it
    std::string out, err;
    int signal = 0;      // the signal that ended it, or 0
    bool sent = false;   // (runVimboSignalled) the signal was sent before it ended
};

// Standard output and error are caught in memory; `input` is what the
// command reads on standard input.
CommandOutcome runVimbo(const std::vector<std::string>& arguments, const std::string& input = "");

#ifndef _WIN32
// Runs the command and sends it `signal` once `ready()` holds (asked again
// every millisecond while the command runs), so a test chooses the moment:
// a file that shows the run got there. With `group`, the signal goes to the
// command's process group, as Ctrl-C and a hangup reach every child.
CommandOutcome runVimboSignalled(const std::vector<std::string>& arguments, int signal,
                                 const std::function<bool()>& ready, bool group = false);

// Runs the command with standard output into a pipe whose reader closes it
// after the first line, as `| head -1` does; `out` holds that line.
CommandOutcome runVimboIntoClosingPipe(const std::vector<std::string>& arguments);
#endif

// Whether a C compiler (cc) runs here: batch runs search where it says,
// and a build's database names it.
bool compilerAvailable();

// Whether git can be run here (some tests need a work tree).
bool gitAvailable();

}  // namespace vimbo::test
