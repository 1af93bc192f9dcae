// Which files of a tree git ignores, asked of git itself: its rules
// (.gitignore files at every level, info/exclude, core.excludesFile) are
// git's to read.
#pragma once

#include <string>
#include <vector>

namespace vimbo::cli {

// The members of `files` (paths relative to `root`, "/"-separated) that git
// ignores; none when `root` is not inside a git work tree or git cannot run.
std::vector<std::string> gitIgnored(const std::string& root, const std::vector<std::string>& files);

// The names of git's "-z" output, which ends each with a NUL.
std::vector<std::string> nulSeparated(const std::string& output);

}  // namespace vimbo::cli
