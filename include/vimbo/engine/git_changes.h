// The files git reports changed, for a front end that runs over those only
// (--since REF, --staged), asked the way the build asks git anything (its
// library, or the git command with every program a repository's
// configuration could name turned off).
#pragma once

#include <string>
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
GitAnswer gitChangedNames(const std::string& revision, bool staged, std::string& top, std::vector<std::string>& names);

// The top of the work tree `directory` lies in, found by its ".git" (for
// messages: safe.directory names it); "" when none is above.
std::string workTreeAbove(const std::string& directory);

}  // namespace vimbo::engine
