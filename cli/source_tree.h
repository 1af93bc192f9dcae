// The C and C++ files under a set of directories, found without following
// any symbolic link and without entering hidden directories. A rewrite puts a
// new file in the old one's place: a symbolic link would become a copy, and a
// file with several hard links would part from its twins, so neither is taken.
#pragma once

#include <string>
#include <vector>

namespace vimbo::cli {

struct SkippedFile {
    std::string path;
    std::string reason;
    bool operator<(const SkippedFile& other) const { return path < other.path; }
};

struct SourceTree {
    std::vector<std::string> files;    // regular files to examine, in a stable order
    std::vector<SkippedFile> skipped;  // matching names that are links or not regular files
    std::vector<std::string> errors;   // roots or directories that could not be read
};

extern const std::vector<std::string> kDefaultExtensions;

// Extensions are compared without regard to case (".H" is ".h").
struct WalkOptions {
    std::vector<std::string> extensions = kDefaultExtensions;
    bool breakLinks = false;               // take files with several hard links too
    std::vector<std::string> exclusions;   // patterns, matched against paths relative to each root
    bool gitIgnore = true;                 // leave out what git ignores, inside a work tree
};

// Roots may be directories, walked, or files, taken as they are named (no
// extension, exclusion or ignore rule applies to those).
SourceTree findSources(const std::vector<std::string>& roots, const WalkOptions& options);

}  // namespace vimbo::cli
