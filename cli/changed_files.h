// The files git reports changed (--since REF, --staged), as
// "git clang-format" takes them: added, copied, modified or renamed; a
// deleted file is no file to rewrite.
#pragma once

#include <string>
#include <vector>

#include "vimbo/engine/git_changes.h"

namespace vimbo::cli {

// Paths relative to the current directory; false with a message when git
// can't tell (no work tree, an unknown revision, a repository it won't read).
// With `lines`: each file's added or changed lines, in the order of `files`.
bool gitChangedFiles(const std::string& since, bool staged, std::vector<std::string>& files, std::string& error,
                     std::vector<vimbo::engine::LineRanges>* lines = nullptr);
// The files whose work tree is not what git's index holds (changed,
// deleted, of another type), relative to the current directory.
bool gitUnlikeIndex(std::vector<std::string>& files, std::string& error);

}  // namespace vimbo::cli
