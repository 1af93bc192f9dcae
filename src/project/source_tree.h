// The C and C++ files under a set of directories, found without following
// any symbolic link and without entering hidden directories. A rewrite puts a
// new file in the old one's place: a symbolic link would become a copy, and a
// file with several hard links would part from its twins, so neither is taken.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "vimbo/engine/paths.h"

namespace vimbo::project {

struct SkippedFile {
    std::string path;
    std::string reason;
    bool operator<(const SkippedFile& other) const { return path < other.path; }
};

// A directory the walk went through, as it saw it: a rewrite writes there
// only while it is still that very directory.
struct WalkedDirectory {
    std::string path;  // as the paths of its files begin
    vimbo::engine::DirectoryIdentity identity;
    std::vector<std::string> leftovers;  // scratch names in it, left by runs cut short
};

struct SourceTree {
    std::vector<std::string> files;    // regular files to examine, in a stable order
    std::vector<SkippedFile> skipped;  // matching names that are links or not regular files
    std::vector<std::string> errors;   // roots or directories that could not be read
    std::vector<WalkedDirectory> directories;
    // Why git's ignore rules could not be learnt for a root inside a work
    // tree: the run must stop before it writes anything.
    std::vector<std::string> gitProblems;
};

extern const std::vector<std::string> kDefaultExtensions;

// Extensions are compared without regard to case (".H" is ".h").
struct WalkOptions {
    std::vector<std::string> extensions = kDefaultExtensions;
    bool breakLinks = false;               // take files with several hard links too
    // Leave hard links to the run, which reads every file anyway (the index)
    // and learns their number there: one look less per file.
    bool linksCountedLater = false;
    std::vector<std::string> exclusions;   // patterns, matched against paths relative to each root
    bool gitIgnore = true;                 // leave out what git ignores, inside a work tree
    // Where settings differ from directory to directory (a project's
    // configuration file): decides for each file walked, by its path and its
    // path relative to the root, in place of `extensions` and `exclusions`.
    std::function<bool(const std::string& path, const std::string& relative)> accepts;
};

// Why a file with `links` hard links is skipped.
std::string hardLinksReason(std::uint64_t links);

// Whether the file's extension is one of `extensions`, without regard to case.
bool hasSourceExtension(const std::string& path, const std::vector<std::string>& extensions);

// Roots may be directories, walked, or files, taken as they are named (no
// extension, exclusion or ignore rule applies to those).
SourceTree findSources(const std::vector<std::string>& roots, const WalkOptions& options);

// The directories of files named on their own, noted as the walk notes its
// own (unless it did): as they are now, with the scratch files that runs
// cut short left there, which the run looks at before it writes there.
void noteDirectoriesOf(const std::vector<std::string>& files, SourceTree& tree);

}  // namespace vimbo::project
