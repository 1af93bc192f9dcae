// The engine as a front end sees it for one file or one line: exactly the
// library's own run, from command-line style arguments.
#pragma once

#include <string>
#include <vector>

#include "vimbo/engine/arguments.h"

namespace vimbo::engine {

struct SingleRun {
    ArgumentWords words;          // what to read, where the result goes, -b
    std::string includePath;      // the search path (the -i values joined, else INCLUDE)
    bool summary = true;          // the settings summary first, on standard output
    std::vector<std::string> precompiledHeaders;  // never wrapped, besides stdafx.h and pch.h
};

// Runs it; true when it failed (a message was printed).
bool runSingle(const SingleRun& run);

// The INCLUDE environment variable's value, or "".
std::string includeFromEnvironment();

}  // namespace vimbo::engine
