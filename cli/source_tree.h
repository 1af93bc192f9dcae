// The C and C++ files under a set of directories, found without following
// any symbolic link and without entering hidden directories.
#pragma once

#include <string>
#include <vector>

namespace vimbo::cli {

struct SourceTree {
    std::vector<std::string> files;    // regular files to examine, in a stable order
    std::vector<std::string> skipped;  // matching names that are links or not regular files
    std::vector<std::string> errors;   // roots or directories that could not be read
};

extern const std::vector<std::string> kDefaultExtensions;

// Extensions are compared without regard to case (".H" is ".h").
SourceTree findSources(const std::vector<std::string>& roots, const std::vector<std::string>& extensions);

}  // namespace vimbo::cli
