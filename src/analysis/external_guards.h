// External include guards already in a file: an include line between
// "#ifndef M" and "#endif", where M is meant as its header's guard (or
// between several such pairs, one inside the other).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "analysis/guard_analyzer.h"
#include "analysis/header_lookup.h"

namespace vimbo::analysis {

struct GuardWrapper {
    std::size_t line = 0;    // the include line's number, from 1
    // Wrappers may stand one inside another around one include: the
    // opening line stands `depth` lines above the include, its "#endif" as
    // many below.
    std::size_t depth = 1;
    std::string directive;   // the include line, without blanks around it
    std::string name;        // the header as the include names it
    std::string macro;       // M
    // "" when M controls the whole header, so that the wrapper changes
    // nothing; else what is wrong: "is guarded by N", "has no guard that
    // covers the whole file", "is not found".
    std::string problem;
};

// The wrappers among a file's lines. One counts when its macro is tied to
// the header: the macro controls it, is the header's own first test (the
// guard an unchecked tool would have taken), or is named after the header
// file. Any other "#ifndef" before an include tests a feature.
std::vector<GuardWrapper> findGuardWrappers(const std::vector<std::string>& lines, const std::string& includer,
                                            const HeaderLookup& lookup, GuardAnalyzer& analyzer);


}  // namespace vimbo::analysis
