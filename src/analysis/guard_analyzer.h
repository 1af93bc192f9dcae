// Which macro guards a header, and whether skipping the header while that
// macro is defined changes nothing: the analysis every rewrite asks for.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "analysis/guard_search.h"
#include "analysis/header_cache.h"
#include "analysis/header_finder.h"
#include "analysis/header_lookup.h"

namespace vimbo::analysis {

class RunIndex;
struct ScannedLine;
struct IncludeName;

class GuardAnalyzer {
public:
    // Headers are read and found through `cache`, for the run it serves; a
    // batch run's `index` adds the rules that the whole run decides.
    explicit GuardAnalyzer(HeaderCache& cache, const RunIndex* index = nullptr)
        : cache_(cache), finder_(cache), index_(index) {}

    // The candidate: the header's own "#ifndef" (or "#if !defined") test that
    // matches its name, or the guard of a header it includes before that.
    std::string findGuardMacro(const std::string& path, const HeaderLookup& lookup);
    // By the library's rules: the candidate only when it controls the whole
    // header (or every header it merely forwards to), so that skipping the
    // header while it is defined changes nothing; else "". By a compiler's:
    // the macro its multiple-include optimisation records for the header,
    // when the header defines it itself (no name is compared).
    std::string verifiedGuardMacro(const std::string& path, const HeaderLookup& lookup);
    // Whether a macro controls the whole header (or every header it only
    // forwards to).
    bool macroControlsHeader(const std::string& path, const std::string& macro, const HeaderLookup& lookup);
    // The macro that controls the whole header, whatever its name, else the
    // guard of the headers it forwards to; "" when there is none.
    std::string guardOfHeader(const std::string& path, const HeaderLookup& lookup);
    // Whether every other lookup that finds the header a line of `includer`
    // names finds the same one, with the same guard.
    bool sameInLookups(const std::string& line, const std::string& includer, const std::string& header,
                       const std::string& guard, const std::vector<HeaderLookup>& lookups);

    // For an "#include_next" line of `includer` (`scanned`) that finds
    // `header` with `guard`: whether the line finds that header however the
    // compiler reaches the includer (in a directory of the search, beside
    // another file, compiled itself), and in every one of `others` too; or,
    // where it finds the includer again, whether its own guard then makes
    // it nothing.
    bool includeNextAgrees(const ScannedLine& scanned, const std::string& includer, const std::string& header,
                           const std::string& guard, const HeaderLookup& lookup,
                           const std::vector<HeaderLookup>& others);

    const HeaderFinder& finder() const { return finder_; }
    // The run's own rules, in a batch run; null otherwise.
    const RunIndex* index() const { return index_; }

private:
    // Each set of rules judges a header's guard with these.
    friend class LibraryRules;
    friend class CompilerRules;

    std::string findGuardMacro(const std::string& path, const HeaderLookup& lookup, GuardSearch& search,
                               std::shared_ptr<const HeaderFacts> facts = nullptr);
    bool guardControls(const std::string& path, const std::string& guard, const HeaderLookup& lookup, int depth,
                       std::shared_ptr<const HeaderFacts> facts = nullptr);
    std::string examineVerdict(const std::string& path, const HeaderLookup& lookup,
                               const std::shared_ptr<const HeaderFacts>& facts);
    // The compiler's guard: the controlling macro that the header defines
    // itself, or the one guard of every header a forwarder includes.
    std::string compilerGuard(const std::string& path, const HeaderLookup& lookup, int depth,
                              std::shared_ptr<const HeaderFacts> facts = nullptr);

    HeaderCache& cache_;
    HeaderFinder finder_;
    const RunIndex* index_;
};

// The header an include line may be wrapped for, or "": the line must be a
// directive the preprocessor sees (`scanned` follows the file up to it;
// `trusted` is false once the file reads differently as C and C++), name its
// header in quotes or angle brackets, and not name the precompiled header
// (one of `precompiledHeaders`, compared without case). With `unfound`,
// under a compiler's rules, the name of a header that no directory of the
// search holds goes there ("" otherwise): not one the lookup only can't
// follow.
std::string wrappableHeader(const std::string& line, const ScannedLine& scanned, bool trusted,
                            const std::string& includer, const HeaderLookup& lookup, const HeaderFinder& finder,
                            const std::vector<std::string>& precompiledHeaders, IncludeName* unfound = nullptr);

}  // namespace vimbo::analysis
