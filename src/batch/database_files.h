// "-p DIR" with no paths, as clang-tidy's runners take it: every source the
// build compiles inside the project (the current directory), and the
// project's headers they include, found with each unit's directories.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "project/compile_database.h"
#include "batch/run_lookups.h"

namespace vimbo::batch {

struct DatabaseFiles {
    std::vector<std::string> files;    // relative to the current directory, sorted
    std::vector<std::string> missing;  // entries whose source is not on disk
    std::size_t outside = 0;           // sources outside the project, left alone
    std::size_t generated = 0;         // files in the build's own directory, left alone
    std::string gitProblem;            // git's ignore rules could not be learnt: stop
};

// `gitIgnore`: leave out what git ignores (generated sources in a build
// directory inside the work tree). Files under `buildDirectory` (where the
// database is) are the build's own, made anew by it: left out too, unless
// that directory is the project itself. A file larger than `maxFileSize`
// is taken, for the run to skip, but its includes are not followed.
DatabaseFiles databaseFiles(const vimbo::project::CompileDatabase& database, const RunLookups& lookups, bool gitIgnore,
                            std::uint64_t maxFileSize, const std::string& buildDirectory = "");

}  // namespace vimbo::batch
