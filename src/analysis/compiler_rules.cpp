// A compiler's rules: every spelling it reads as an include ("# include",
// "%:include", comments between, "#include_next"), its search order, and
// the guard its multiple-include optimisation records for a header.
#include "analysis/guard_analyzer.h"
#include "analysis/header_finder.h"
#include "analysis/include_directive.h"
#include "analysis/include_rules.h"

namespace vimbo::analysis {

class CompilerRules final : public IncludeRules {
public:
    const char* name() const override { return "compiler"; }

    bool includes(std::string_view directive) const override {
        return directive == "include" || directive == "include_next";
    }

    bool includeName(const std::string&, std::string_view directive, std::string_view rest,
                     IncludeName& name) const override {
        name.next = directive == "include_next";
        return compilerHeaderName(rest, name.name, name.quoted);
    }

    bool mayWrap(const std::string&, bool named, const IncludeName& name,
                 const std::vector<std::string>& precompiledHeaders) const override {
        return named && !namesPrecompiledHeader("#include <" + name.name + ">", precompiledHeaders);
    }

    std::string find(const std::string&, const IncludeName& name, const std::string& includer,
                     const HeaderLookup& lookup, const HeaderFinder& finder) const override {
        return name.next ? finder.findNextLikeCompiler(name.name, includer, lookup)
                         : finder.findLikeCompiler(name.name, name.quoted, includer, lookup);
    }

    std::string headerOf(const std::string& line, const std::string& includer, const HeaderLookup& lookup,
                         const HeaderFinder& finder) const override {
        // Read as a batch run reads the lines it wraps: any spelling of the
        // directive; a macro as the name is the preprocessor's business.
        std::string header;
        bool quoted = false;
        if (!compilerIncludeName(line, header, quoted)) return "";
        return finder.findLikeCompiler(header, quoted, includer, lookup);
    }

    std::string guardVerdict(GuardAnalyzer& analyzer, const std::string& path, const HeaderLookup& lookup,
                             const std::shared_ptr<const HeaderFacts>& facts) const override {
        // As the compiler sees it: the macro its multiple-include optimisation
        // records for the header, whatever its name.
        return analyzer.compilerGuard(path, lookup, 0, facts);
    }
};

const IncludeRules& compilerRules() {
    static const CompilerRules rules;
    return rules;
}

}  // namespace vimbo::analysis
