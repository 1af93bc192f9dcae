// Where the headers an include line names are looked for: a value, handed
// to whatever looks, so that each set of rules (the library's, a compiler's,
// one per entry of a build's compilation database) travels on its own.
#pragma once

#include <string>

namespace vimbo::analysis {

enum class LookupRules {
    // A quoted name in the current directory only, an angle-bracket name
    // along the search path, tried again with ".h" where it has no ".".
    library,
    // As a compiler finds it: a quoted name beside the including file, then
    // along the quote path and the search path; an angle name along the
    // search path; never with ".h" added.
    compiler,
};

struct HeaderLookup {
    std::string searchPath;  // directories separated by ";"
    std::string quotePath;   // for quoted names only, before the search path (-iquote)
    LookupRules rules = LookupRules::library;
    // False when the build searches in a way these paths can't follow: then
    // no header is taken as found.
    bool followable = true;
    // cl and clang-cl: a quoted name not beside its includer is looked for
    // beside each file that included that one, in turn, before the paths.
    // That stack is known only for the file compiled, `unit` (whose own
    // includes have none above them): elsewhere such a name is not taken
    // as found.
    bool includeStack = false;
    std::string unit = {};
    // The unit is C++ (its file's name says so): "not" is then "!", and a
    // header guarded by "#if not defined G" is guarded; C reads "not" as a
    // name of its own.
    bool cplusplus = false;
};

}  // namespace vimbo::analysis
