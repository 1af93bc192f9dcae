// Paths as the engine and the platform read them, for a front end that
// takes them from a command line or walks directories.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vimbo::engine {

// The entries of a search path as a user writes one ("-i"): separated by
// ";", and where that is the platform's habit (PATH, CPATH on POSIX) by ":"
// too, a drive letter and its colon staying together. An empty entry ends it.
std::vector<std::string> commandLineSearchPath(const std::string& value);
// The entries of a search path as the engine reads one: separated by ";" only.
std::vector<std::string> searchPathEntries(const std::string& searchPath);

// Whether anything stands at a path (a dangling link too), and whether it
// is a directory; paths in the system's own form, as the engine takes them.
bool pathExists(const std::string& path);
bool isDirectory(const std::string& path);
// How many names (hard links) the regular file at `path` has; 0 when it is
// no regular file.
std::uint64_t linkCount(const std::string& path);

// Which directory a path leads to: its device and file number. A run that
// remembers it as it first looks (the walk) can tell a directory swapped
// for another, or for a link, before it writes there.
struct DirectoryIdentity {
    std::uint64_t device = 0, file = 0;
    bool operator==(const DirectoryIdentity& other) const { return device == other.device && file == other.file; }
};
// False when `path` (links followed, as written) names no directory.
bool directoryIdentity(const std::string& path, DirectoryIdentity& identity);

// Whether a name that a directory listing gives can stand as one part of
// the engine's paths: on POSIX a "\\" in it would be taken for a
// separator, and the path would lead elsewhere.
bool nameFitsPaths(const std::string& name);

// Whether a file name is one that batch runs write scratch files under
// ("$vb$tmp$.$$$", "$vb$tmp$.1", "$vb$bak$.$$$" ...): one found in a tree
// is what a run cut short left.
bool isScratchFileName(const std::string& name);

// The name of the copy a run with backups keeps of a file's old text
// ("u.c" -> "u.Bak").
std::string backupNameOf(const std::string& file);

}  // namespace vimbo::engine
