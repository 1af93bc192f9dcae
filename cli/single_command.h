// One file or one line, as the library's own run does it.
#pragma once

#include "front_end_options.h"
#include "vimbo/engine/arguments.h"

namespace vimbo::cli {

// Returns the exit status: 0, or 1 when the run printed a failure.
int runSingleCommand(const FrontEndOptions& options, const vimbo::engine::ArgumentWords& words, const std::string& includePath);

}  // namespace vimbo::cli
