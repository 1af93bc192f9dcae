// What vimbo asks of git: which files it ignores, which changed. Two ways
// to ask, one answer: git's library (libgit2, `git_library.cpp`), which never
// runs a program, and where a build has no library, the git command with
// every program the repository's configuration could name turned off
// (`git_command.cpp`: fsmonitor, filter drivers, external diffs, textconv,
// pagers, hooks, transports). The build chooses one (src/project/CMakeLists.txt).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "vimbo/engine/git_changes.h"

namespace vimbo::project {

using vimbo::engine::GitAnswer;
using vimbo::engine::GitStatus;

struct GitAccess {
    const char* name;
    // The members of `files` (relative to `root`, "/"-separated) that git
    // ignores, as `git check-ignore` tells: a file in the index is never
    // ignored, one under an ignored directory always is.
    GitAnswer (*ignored)(const std::string& root, const std::vector<std::string>& files,
                         std::vector<std::string>& ignored);
    // As `git diff --name-only --no-renames --diff-filter=ACMR [--cached]
    // [REVISION]` tells, from the top of the work tree (`top`); REVISION may
    // be a range (A..B, A...B) without `staged`.
    // With `lines`, each name's added or changed lines too (see git_changes.h).
    GitAnswer (*changed)(const std::string& revision, bool staged, std::string& top,
                         std::vector<std::string>& names, std::vector<vimbo::engine::LineRanges>* lines);
    // The text the index holds for each of `files` (relative to the current
    // directory) as a commit stores it; none for a file it holds no text of.
    GitAnswer (*indexTexts)(const std::vector<std::string>& files, std::vector<std::optional<std::string>>& texts);
    // As `git diff --name-only --no-renames --diff-filter=MDT` tells: the
    // files whose work tree is not what the index holds, from `top`.
    GitAnswer (*unlikeIndex)(std::string& top, std::vector<std::string>& names);
};

// The one this build uses.
const GitAccess& gitAccess();
// The git command, defused; built everywhere (the tests try it too).
const GitAccess& gitCommand();

using vimbo::engine::workTreeAbove;

}  // namespace vimbo::project
