// The batch modes from the command line: the paths checked and walked, the
// build's database read, and the run, verified where asked.
#pragma once

#include <string>
#include <vector>

#include "front_end_options.h"
#include "vimbo/engine/arguments.h"

namespace vimbo::cli {

// Returns the exit status of the run (see runBatch and runVerified).
// `commandLine`: the words the command was given, for the command that fixes
// what a check found.
int runBatchCommand(const FrontEndOptions& options, const vimbo::engine::ArgumentWords& words, const std::string& includePath,
                    const std::vector<std::string>& commandLine = {});

}  // namespace vimbo::cli
