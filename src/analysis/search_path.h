// Search paths: lists of directories separated by ";" (and by ":" where a
// POSIX user writes them so), and the test for a path that needs no base.
#pragma once

#include <string>
#include <vector>

namespace vimbo::analysis {

// The entries in order. An empty entry ends the path: what stands behind it
// is never searched, so it is not returned. With `colonSeparates`, ":"
// separates too, except after a drive letter ("C:\\x", "C:/x").
std::vector<std::string> searchPathEntries(const std::string& searchPath, bool colonSeparates = false);

// A drive prefix ("C:"), or a leading "\\" or "/".
bool isAbsolutePath(const std::string& path);

}  // namespace vimbo::analysis
