// The search path of a command line: every "-i" value in order, entries
// separated by ";" (on POSIX by ":" too), else the INCLUDE variable's (see
// includeFromEnvironment in single_run.h); and the entries that are
// missing, which a front end warns of before a run.
#pragma once

#include <string>
#include <vector>

namespace vimbo::engine {

// The "-i" values joined into one ";"-separated path; `fallback` (the
// INCLUDE variable's path) when there are none.
std::string joinIncludePaths(const std::vector<std::string>& values, const std::string& fallback);

// Entries of a search path that name no existing directory, each once.
std::vector<std::string> missingDirectories(const std::string& searchPath);

}  // namespace vimbo::engine
