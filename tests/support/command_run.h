// Runs the vimbo command as a separate process in the current directory.
#pragma once

#include <string>
#include <vector>

namespace vimbo::test {

struct CommandOutcome {
    int status;
    std::string out, err;
};

// Standard output and error are caught in memory; `input` is what the
// command reads on standard input.
CommandOutcome runVimbo(const std::vector<std::string>& arguments, const std::string& input = "");

// Whether git can be run here (some tests need a work tree).
bool gitAvailable();

}  // namespace vimbo::test
