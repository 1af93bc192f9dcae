// The library's rules: "#include" as written, its operand read as the C
// functions read it, the name searched as they search it, and a candidate
// guard used only when it controls the whole header.
#include <algorithm>

#include "analysis/guard_analyzer.h"
#include "analysis/header_finder.h"
#include "analysis/include_directive.h"
#include "analysis/include_rules.h"
#include "analysis/path_parts.h"
#include "analysis/source_scanner.h"

namespace vimbo::analysis {

class LibraryRules final : public IncludeRules {
public:
    const char* name() const override { return "library"; }

    bool includes(std::string_view directive) const override { return directive == "include"; }

    bool includeName(const std::string& line, std::string_view, std::string_view, IncludeName& name) const override {
        IncludeKind kind;
        bool known = false;
        name.name = parseIncludeOperand(line, kind, known);
        name.quoted = kind == includeQuoted;
        return known;
    }

    bool mayWrap(const std::string& line, bool, const IncludeName&,
                 const std::vector<std::string>& precompiledHeaders) const override {
        // The name must be the directive's own operand: "# include <x" with a
        // "#include <a.h>" later in the line names x, not a.h.
        if (line.find("#include") != line.find_first_not_of(" \t\v\f")) return false;
        // The compiler skips everything up to the precompiled header's include;
        // a test in front of it breaks the build.
        return !namesPrecompiledHeader(line, precompiledHeaders);
    }

    std::string find(const std::string& line, const IncludeName&, const std::string&, const HeaderLookup& lookup,
                     const HeaderFinder& finder) const override {
        return finder.locateIncludeFile(line, lookup);
    }

    std::string headerOf(const std::string& line, const std::string&, const HeaderLookup& lookup,
                         const HeaderFinder& finder) const override {
        return finder.locateIncludeFile(line, lookup);
    }

    std::string guardVerdict(GuardAnalyzer& analyzer, const std::string& path, const HeaderLookup& lookup,
                             const std::shared_ptr<const HeaderFacts>& facts) const override {
        GuardSearch search;
        const std::string candidate = analyzer.findGuardMacro(path, lookup, search, facts);
        // "#if !defined( X )" gives the candidate with its blanks; it stands
        // for X all the same.
        const std::string macro(trimBlanks(candidate));
        if (!isIdentifier(macro) || !analyzer.guardControls(path, macro, lookup, 0, facts)) return "";
        return candidate;
    }
};

const IncludeRules& libraryRules() {
    static const LibraryRules rules;
    return rules;
}

bool namesPrecompiledHeader(const std::string& line, const std::vector<std::string>& precompiledHeaders) {
    IncludeKind kind;
    bool delimited;
    const std::string name = parseIncludeOperand(line, kind, delimited);
    // Compared by file name, without regard to case, as Windows compares names.
    const std::string file = lowerCaseAscii(name.substr(name.find_last_of("\\/") + 1));
    return std::any_of(precompiledHeaders.begin(), precompiledHeaders.end(),
                       [&](const std::string& pch) { return lowerCaseAscii(pch) == file; });
}

}  // namespace vimbo::analysis
