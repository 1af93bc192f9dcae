// The files git reports changed (--since REF, --staged), as
// "git clang-format" takes them: added, copied, modified or renamed; a
// deleted file is no file to rewrite.
#pragma once

#include <string>
#include <vector>

namespace vimbo::cli {

// Paths relative to the current directory; false with a message when git
// can't tell (no work tree, an unknown revision, a repository it won't read).
bool gitChangedFiles(const std::string& since, bool staged, std::vector<std::string>& files, std::string& error);

}  // namespace vimbo::cli
