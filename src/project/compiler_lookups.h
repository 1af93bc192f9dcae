// The lookups of a batch run, each asked of the compiler that compiles
// with it: once per distinct command and directory, several at once. A
// compiler that can't be run or asked gives a lookup that finds no header,
// never a list guessed in its place.
#pragma once

#include <string>
#include <vector>

#include "project/compiler_search.h"
#include "project/compiler_trust.h"
#include "vimbo/engine/file_rewriter.h"

namespace vimbo::project {

// How one configuration's search list is known.
struct SearchQuestion {
    std::vector<std::string> command;  // asks the compiler (-E -v); empty when `given` is the answer
    std::string directory;             // where the compiler runs
    SearchList given;                  // cl: what its command line and INCLUDE say
    std::string problem;               // why it can't be asked; "" when it can
    bool includeStack = false;         // clang-cl: cl's rules, whatever list it prints
    bool problemTold = false;          // the problem was said as the database was read
};

struct SearchAnswer {
    bool started = false;    // the program ran
    bool cantStart = false;  // it was to run, but could not be started (not there)
    bool answered = false;
    SearchList list;
    std::string problem;  // why there is no answer
};

// Runs each question's command (`jobs` at once, 0: one per processor), each
// distinct one once; a question with a problem, or one `trust` keeps from
// running, is answered with that problem.
std::vector<SearchAnswer> askCompilers(const std::vector<SearchQuestion>& questions, const CompilerTrust& trust,
                                       unsigned jobs);

// The lookup a compiler's lists make: its angle list, its quote list; one
// that finds no header when `answer` has none, or when a directory holds a
// ";" (which separates the lookup's entries).
vimbo::engine::Lookup lookupOf(const SearchAnswer& answer);

}  // namespace vimbo::project
