// Which files of a tree git ignores: its rules (.gitignore files at every
// level, info/exclude, core.excludesFile) are git's to read, through
// `gitAccess()`.
#pragma once

#include <string>
#include <vector>

namespace vimbo::project {

struct IgnoredFiles {
    std::vector<std::string> files;  // sorted
    // Why git's rules could not be learnt inside a work tree ("" when they
    // were, or when there is no work tree and so no rule): the run must not
    // go on as if nothing were ignored.
    std::string problem;
};

// The members of `files` (paths relative to `root`, "/"-separated) that git
// ignores; none when `root` is not inside a git work tree.
IgnoredFiles gitIgnored(const std::string& root, const std::vector<std::string>& files);

}  // namespace vimbo::project
