// The grammar of command-line style arguments ("-b", "-i PATH", "-t LINE...",
// files), read once, for the settings and for the front end alike.
#pragma once

#include <string>
#include <vector>

namespace vimbo::engine {

struct ArgumentWords {
    bool backup = false;                    // "-b" or "-B" seen
    std::vector<std::string> includePaths;  // the value of each "-i"/"-I", in order
    bool lineMode = false;                  // "-t"/"-T" seen: the rest is the line
    std::string line;                       // the remaining arguments joined with " "
    std::vector<std::string> files;         // every other argument before "-t", in order
};

// Each word is compared whole and case-sensitively with the option words; an
// "-i" as the last argument is ignored. Null arguments read as "".
ArgumentWords readArgumentWords(int argc, const char* const* argv);

}  // namespace vimbo::engine
