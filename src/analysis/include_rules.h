// How an include line is read, its header found and its guard judged. Two
// sets of rules, one implementation each: the library's (the C functions
// and single-file mode: "#include" and its operand as written, the
// library's search, a candidate guard checked against the whole header)
// and a compiler's (batch runs: every spelling the compiler reads, its
// search order, the guard its multiple-include optimisation records). A
// lookup's `rules` picks one (rulesFor).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/header_facts.h"
#include "analysis/header_lookup.h"

namespace vimbo::analysis {

class GuardAnalyzer;
class HeaderFinder;

// The header an include line names, as the rules read it.
struct IncludeName {
    std::string name;
    bool quoted = false;
    bool next = false;  // "#include_next": the search goes on after the includer
};

class IncludeRules {
public:
    virtual ~IncludeRules() = default;

    // Their name, part of the context a verdict is remembered for.
    virtual const char* name() const = 0;
    // Whether a line whose directive is `directive` includes a header.
    virtual bool includes(std::string_view directive) const = 0;
    // The name such a line gives (`rest`: what follows the directive's
    // name); false where a macro names the header.
    virtual bool includeName(const std::string& line, std::string_view directive, std::string_view rest,
                             IncludeName& name) const = 0;
    // Whether a line that includes a header may be wrapped at all (`named`:
    // includeName read `name` from it): the name is the directive's own
    // operand, and not the precompiled header.
    virtual bool mayWrap(const std::string& line, bool named, const IncludeName& name,
                         const std::vector<std::string>& precompiledHeaders) const = 0;
    // Where the header that line of `includer` names is found; "" when it is not.
    virtual std::string find(const std::string& line, const IncludeName& name, const std::string& includer,
                             const HeaderLookup& lookup, const HeaderFinder& finder) const = 0;
    // The header any include line of `includer` names; "" when a macro
    // names it or none is found.
    virtual std::string headerOf(const std::string& line, const std::string& includer, const HeaderLookup& lookup,
                                 const HeaderFinder& finder) const = 0;
    // The guard a header may be wrapped in, "" for none (see
    // GuardAnalyzer::verifiedGuardMacro).
    virtual std::string guardVerdict(GuardAnalyzer& analyzer, const std::string& path, const HeaderLookup& lookup,
                                     const std::shared_ptr<const HeaderFacts>& facts) const = 0;
};

const IncludeRules& libraryRules();
const IncludeRules& compilerRules();
inline const IncludeRules& rulesFor(const HeaderLookup& lookup) {
    return lookup.rules == LookupRules::compiler ? compilerRules() : libraryRules();
}

// Whether an include line names the precompiled header (one of
// `precompiledHeaders`, compared by file name without case).
bool namesPrecompiledHeader(const std::string& line, const std::vector<std::string>& precompiledHeaders);

}  // namespace vimbo::analysis
