// A candidate guard is only used when skipping the header while it is
// defined changes nothing: the macro controls the whole header, or the header
// only forwards to headers that it controls.
#include "analysis/guard_analyzer.h"

#include <algorithm>

#include "analysis/include_directive.h"
#include "analysis/keywords.h"
#include "analysis/path_parts.h"
#include "analysis/run_index.h"
#include "analysis/source_scanner.h"

namespace vimbo::analysis {
namespace {
// Forwarders of forwarders are followed this deep; it also ends cycles.
constexpr int kMaxForwardingDepth = 16;
}  // namespace

std::string GuardAnalyzer::findGuardMacro(const std::string& path, const HeaderLookup& lookup) {
    try {
        GuardSearch search;
        return findGuardMacro(path, lookup, search);
    } catch (...) {
        return "";
    }
}

std::string GuardAnalyzer::findGuardMacro(const std::string& path, const HeaderLookup& lookup, GuardSearch& search,
                                          std::shared_ptr<const HeaderFacts> facts) {
    if (path.empty()) return "";
    // An include cycle ends here: the header is already being read above.
    if (std::find(search.chain.begin(), search.chain.end(), path) != search.chain.end()) return "";
    if (search.chain.size() >= GuardSearch::kMaxDepth) return "";
    auto known = search.known.find(path);
    if (known != search.known.end()) return known->second;

    if (!facts) facts = cache_.facts(path);
    if (!facts) return "";

    search.chain.push_back(path);
    std::string guard;
    DiscoveryStep step;
    for (std::size_t at = 0; facts->nextStep(at, step);) {
        if (!step.include) {
            guard = step.text;
            break;
        }
        const std::string line = kIncludeKeyword + " " + std::string(step.text);
        guard = findGuardMacro(finder_.headerOf(line, path, lookup), lookup, search);
        if (!guard.empty()) break;
    }
    search.chain.pop_back();

    search.known.emplace(path, guard);
    return guard;
}

bool GuardAnalyzer::guardControls(const std::string& path, const std::string& guard, const HeaderLookup& lookup,
                                  int depth, std::shared_ptr<const HeaderFacts> facts) {
    if (!facts) facts = cache_.facts(path, true);
    if (!facts) return false;
    if (facts->controllingMacro() == guard) return true;
    if (!facts->forwarder || depth >= kMaxForwardingDepth) return false;
    ForwardedInclude include;
    for (std::size_t at = 0; facts->nextForward(at, include);) {
        if (!include.wrapper.empty() && include.wrapper != guard) return false;
        const std::string target = finder_.findLikeCompiler(std::string(include.name), include.quoted, path, lookup);
        if (target.empty() || !guardControls(target, guard, lookup, depth + 1)) return false;
    }
    return true;
}

bool GuardAnalyzer::macroControlsHeader(const std::string& path, const std::string& macro,
                                        const HeaderLookup& lookup) {
    try {
        return guardControls(path, macro, lookup, 0);
    } catch (...) {
        return false;
    }
}

std::string GuardAnalyzer::guardOfHeader(const std::string& path, const HeaderLookup& lookup) {
    try {
        const auto facts = cache_.facts(path, true);
        if (facts && !facts->controllingMacro().empty()) return std::string(facts->controllingMacro());
        return std::string(trimBlanks(verifiedGuardMacro(path, lookup)));
    } catch (...) {
        return "";
    }
}

std::string GuardAnalyzer::verifiedGuardMacro(const std::string& path, const HeaderLookup& lookup) {
    try {
        // One read of the header serves both the discovery and the check.
        const auto facts = cache_.facts(path, true);
        if (!facts) return "";
        // A header's verdict depends on its version (the one read, even if
        // the file was replaced meanwhile) and on how the headers it names
        // are found.
        if (!cache_.remembersVerdicts()) return examineVerdict(path, lookup, facts);
        const vimbo::platform::FileIdentity& identity = facts->identity;
        const std::uint32_t context =
            cache_.contextNumber(lookup.searchPath + '\n' + lookup.quotePath + '\n' +
                                 (lookup.rules == LookupRules::compiler ? "compiler" : "library") +
                                 (lookup.followable ? "" : " unfollowable"));
        const std::string key = path + '\n' + std::to_string(identity.device) + ':' + std::to_string(identity.file) +
                                ':' + std::to_string(identity.size) + ':' + std::to_string(identity.modified) + ':' +
                                std::to_string(identity.changed) + ':' + std::to_string(context);
        std::string verdict;
        if (cache_.knownVerdict(key, verdict)) return verdict;
        verdict = examineVerdict(path, lookup, facts);
        cache_.rememberVerdict(key, verdict);
        return verdict;
    } catch (...) {
        return "";
    }
}

std::string GuardAnalyzer::compilerGuard(const std::string& path, const HeaderLookup& lookup, int depth,
                                         std::shared_ptr<const HeaderFacts> facts) {
    if (!facts) facts = cache_.facts(path, true);
    if (!facts) return "";
    if (!facts->controllingMacro().empty() && facts->definesGuard) {
        const std::string guard(facts->controllingMacro());
        // The build's dependencies keep every name the compiler opens: the
        // header must be one it can only have skipped after opening it once
        // under this very name. A second name (another hard link, a symbolic
        // link to the file) is opened and recorded even when the guard is
        // defined.
        if ((index_ ? index_->linksOf(facts->identity) : facts->identity.links) != 1 ||
            cache_.fileSystem().isLink(path))
            return "";
        if (index_ && (!index_->ownsGuard(path, guard) || !index_->soleDefiner(path, *facts, guard) ||
                       index_->otherNameOf(path)))
            return "";
        return guard;
    }
    // A forwarder takes the guard of the header it forwards to, which other
    // files can include too: once that one was included some other way, the
    // compiler still opens the forwarder (it has no guard of its own) and
    // records it, where a wrap would skip it. So in a batch run, where the
    // build's dependencies count, no forwarder is wrapped.
    if (index_ || !facts->forwarder || !facts->hasForwards() || depth >= kMaxForwardingDepth) return "";
    std::string guard;
    ForwardedInclude include;
    for (std::size_t at = 0; facts->nextForward(at, include);) {
        const std::string target = finder_.findLikeCompiler(std::string(include.name), include.quoted, path, lookup);
        const std::string own = target.empty() ? "" : compilerGuard(target, lookup, depth + 1);
        if (own.empty() || (!guard.empty() && own != guard) || (!include.wrapper.empty() && include.wrapper != own))
            return "";
        guard = own;
    }
    return guard;
}

std::string GuardAnalyzer::examineVerdict(const std::string& path, const HeaderLookup& lookup,
                                          const std::shared_ptr<const HeaderFacts>& facts) {
    // As the compiler sees it: the macro its multiple-include optimisation
    // records for the header, whatever its name.
    if (lookup.rules == LookupRules::compiler) return compilerGuard(path, lookup, 0, facts);
    GuardSearch search;
    const std::string candidate = findGuardMacro(path, lookup, search, facts);
    // "#if !defined( X )" gives the candidate with its blanks; it stands
    // for X all the same.
    const std::string macro(trimBlanks(candidate));
    if (!isIdentifier(macro) || !guardControls(path, macro, lookup, 0, facts)) return "";
    return candidate;
}

bool GuardAnalyzer::sameInLookups(const std::string& line, const std::string& includer, const std::string& header,
                                  const std::string& guard, const std::vector<HeaderLookup>& lookups) {
    for (const HeaderLookup& other : lookups) {
        const std::string found = finder_.headerOf(line, includer, other);
        if (!found.empty() && (found != header || verifiedGuardMacro(found, other) != guard)) return false;
    }
    return true;
}

namespace {
bool namesPrecompiledHeader(const std::string& line, const std::vector<std::string>& precompiledHeaders) {
    IncludeKind kind;
    bool delimited;
    const std::string name = parseIncludeOperand(line, kind, delimited);
    // Compared by file name, without regard to case, as Windows compares names.
    const std::string file = lowerCaseAscii(name.substr(name.find_last_of("\\/") + 1));
    return std::any_of(precompiledHeaders.begin(), precompiledHeaders.end(),
                       [&](const std::string& pch) { return lowerCaseAscii(pch) == file; });
}
}  // namespace

namespace {
// The header name of an include directive as the compiler reads it: the
// operand in quotes or angle brackets with nothing behind it (comments are
// blanks by now); false for a macro or anything else.
bool headerOperand(std::string_view rest, std::string& name, bool& quoted) {
    rest = trimBlanks(rest);
    if (rest.size() < 3) return false;
    const char close = rest[0] == '"' ? '"' : rest[0] == '<' ? '>' : '\0';
    const std::size_t end = close ? rest.find(close, 1) : std::string_view::npos;
    if (end == std::string_view::npos || end + 1 != rest.size()) return false;
    name = std::string(rest.substr(1, end - 1));
    quoted = close == '"';
    return true;
}
}  // namespace

std::string wrappableHeader(const std::string& line, const ScannedLine& scanned, bool trusted,
                            const std::string& includer, const HeaderLookup& lookup, const HeaderFinder& finder,
                            const std::vector<std::string>& precompiledHeaders) {
    if (!trusted || !scanned.startsClean || !scanned.endsClean) return "";
    std::string_view name, rest;
    if (!readDirective(scanned.code, name, rest) || name != "include") return "";
    // Text that is more than one line: what follows would end up inside the wrap.
    if (line.find('\n') != std::string::npos || line.find('\r') != std::string::npos) return "";
    if (lookup.rules == LookupRules::compiler) {
        // Every spelling the compiler reads as an include: "# include",
        // "%:include", comments between, the header name as it stands.
        std::string header;
        bool quoted = false;
        if (!headerOperand(rest, header, quoted) || namesPrecompiledHeader("#include <" + header + ">", precompiledHeaders))
            return "";
        return finder.findLikeCompiler(header, quoted, includer, lookup);
    }
    // The name must be the directive's own operand: "# include <x" with a
    // "#include <a.h>" later in the line names x, not a.h.
    if (line.find("#include") != line.find_first_not_of(" \t\v\f")) return "";
    // The compiler skips everything up to the precompiled header's include;
    // a test in front of it breaks the build.
    if (namesPrecompiledHeader(line, precompiledHeaders)) return "";
    return finder.headerOf(line, includer, lookup);
}

}  // namespace vimbo::analysis
