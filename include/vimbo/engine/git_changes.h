// The files git reports changed, for a front end that runs over those only
// (--since REF, --staged), asked the way the build asks git anything (its
// library, or the git command with every program a repository's
// configuration could name turned off).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vimbo::engine {

enum class GitStatus {
    answered,
    noWorkTree,  // not inside a work tree: no ignore rules, no changed files
    refused,     // git won't read a repository another user owns ("dubious ownership")
    failed,      // git could not read the repository, or could not be run
};

struct GitAnswer {
    GitStatus status = GitStatus::answered;
    std::string message;  // git's own words where it did not answer
};

// As `git diff --name-only --no-renames --diff-filter=ACMR [--cached]
// [REVISION]` tells, from the top of the work tree (`top`); REVISION may
// be a range (A..B, A...B) without `staged`; with neither, the work tree
// is compared with the index.
// With `lines`: for each name, the ranges of its lines (first and last, from
// 1, in the newer text) that were added or changed, as `git diff -U0` tells
// them.
using LineRanges = std::vector<std::pair<std::size_t, std::size_t>>;
GitAnswer gitChangedNames(const std::string& revision, bool staged, std::string& top, std::vector<std::string>& names,
                          std::vector<LineRanges>* lines = nullptr);

// The text git's index holds for each of `files` (relative to the current
// directory), as a commit made now would store it; none where the index
// holds no text (not there, `git add -N`, a link, a submodule).
GitAnswer gitIndexTexts(const std::vector<std::string>& files, std::vector<std::optional<std::string>>& texts);
// The files whose work tree is not what the index holds (changed, deleted,
// of another type), from the top of the work tree (`top`); refused while
// the index holds unresolved conflicts.
GitAnswer gitUnlikeIndex(std::string& top, std::vector<std::string>& names);

// The top of the work tree `directory` lies in, found by its ".git" (for
// messages: safe.directory names it); "" when none is above.
std::string workTreeAbove(const std::string& directory);

}  // namespace vimbo::engine
