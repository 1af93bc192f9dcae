// --print-config FILE: the batch-run settings that apply to FILE, and where
// each comes from (the command line, a configuration file, the default).
#pragma once

#include "front_end_options.h"

namespace vimbo::cli {

// Returns the exit status: 0, or 2 when the configuration can't be read.
int printConfig(const FrontEndOptions& options);

}  // namespace vimbo::cli
