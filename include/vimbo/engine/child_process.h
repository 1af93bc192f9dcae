// Other programs (git, a build's compilers), started with an argument
// vector: no shell stands between, so no name or argument is ever read as
// shell syntax, whatever characters it holds.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vimbo::platform {

struct ChildProcess {
    // arguments[0] is the program: looked for along PATH when it names no
    // directory, else taken from `directory`.
    std::vector<std::string> arguments;
    std::string directory;   // where it runs; "" for the current directory
    std::string input;       // all it reads on standard input
    // Standard output goes into this file, which is created anew and open to
    // its owner alone (it must not exist yet); "" catches it in `output`.
    std::string outputFile;
    // At most this much of standard error (and of a caught standard
    // output) is kept; the rest is read and dropped.
    std::size_t keep = std::size_t{1} << 20;
    // "NAME=VALUE" entries set for the child over this process's own
    // environment, which it otherwise inherits as it is.
    std::vector<std::string> environment = {};
};

struct ChildOutcome {
    bool started = false;  // false: the program could not be started at all
    int status = -1;       // its exit status; -1 unless it ended normally
    int signal = 0;        // the signal that ended it, or 0
    std::string output, errors;
};

ChildOutcome runChild(const ChildProcess& child);

// A new directory named `prefix` and a number inside `parent`, open to this
// user alone; "" when none could be made.
std::string makePrivateDirectory(const std::string& parent, const std::string& prefix);
// Whether `path` is a directory (no link) of this user's that no one else
// may enter or change, as makePrivateDirectory makes them.
bool isOwnPrivateDirectory(const std::string& path);

// This process's number, and whether a process of that number runs (one
// this user may not signal counts as running).
long currentProcessId();
bool processRunning(long id);

}  // namespace vimbo::platform
