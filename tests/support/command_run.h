// Runs the vimbo command as a separate process in the current directory.
#pragma once

#include <string>
#include <vector>

namespace vimbo::test {

struct CommandOutcome {
    int status;
    std::string out, err;
};

// Standard output and error are caught in files of the current directory.
CommandOutcome runVimbo(const std::vector<std::string>& arguments, const std::string& outFile = "out.txt",
                        const std::string& errFile = "err.txt");

}  // namespace vimbo::test
