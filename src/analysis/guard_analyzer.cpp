// A candidate guard is only used when skipping the header while it is
// defined changes nothing: the macro controls the whole header, or the header
// only forwards to headers that it controls.
#include "analysis/guard_analyzer.h"

#include <algorithm>

#include "analysis/include_directive.h"
#include "analysis/include_rules.h"
#include "analysis/keywords.h"
#include "analysis/path_parts.h"
#include "analysis/run_index.h"
#include "analysis/source_scanner.h"

namespace vimbo::analysis {
namespace {
// Forwarders of forwarders are followed this deep; it also ends cycles.
constexpr int kMaxForwardingDepth = 16;

// The macro that controls the header in the lookup's unit: a test spelt
// "#if not defined G" controls it in C++ only.
std::string_view controlIn(const HeaderFacts& facts, const HeaderLookup& lookup) {
    return facts.controlOnlyInCplusplus && !lookup.cplusplus ? std::string_view() : facts.controllingMacro();
}
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
    if (controlIn(*facts, lookup) == guard) return true;
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
        if (facts && !controlIn(*facts, lookup).empty()) return std::string(controlIn(*facts, lookup));
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
                                 rulesFor(lookup).name() +
                                 (lookup.followable ? "" : " unfollowable") + (lookup.cplusplus ? " c++" : "") +
                                 (lookup.includeStack ? " stack " + lookup.unit : ""));
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
    if (!controlIn(*facts, lookup).empty() && facts->definesGuard) {
        const std::string guard(controlIn(*facts, lookup));
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
    return rulesFor(lookup).guardVerdict(*this, path, lookup, facts);
}

bool GuardAnalyzer::sameInLookups(const std::string& line, const std::string& includer, const std::string& header,
                                  const std::string& guard, const std::vector<HeaderLookup>& lookups) {
    for (const HeaderLookup& other : lookups) {
        // A lookup that can't follow the build (or cl's include stack, for a
        // quoted name) finds nothing, which says nothing of what it includes.
        if (!other.followable) return false;
        const std::string found = finder_.headerOf(line, includer, other);
        if (found.empty() && other.includeStack && line.find('"') != std::string::npos) return false;
        if (!found.empty() && (found != header || verifiedGuardMacro(found, other) != guard)) return false;
    }
    return true;
}

bool GuardAnalyzer::includeNextAgrees(const ScannedLine& scanned, const std::string& includer,
                                      const std::string& header, const std::string& guard, const HeaderLookup& lookup,
                                      const std::vector<HeaderLookup>& others) {
    try {
        std::string_view directive, rest;
        std::string name;
        bool quoted = false;
        if (!readDirective(scanned.code, directive, rest) || directive != "include_next" ||
            !compilerHeaderName(rest, name, quoted))
            return false;
        vimbo::platform::FileIdentity headerFile, includerFile;
        if (!cache_.identityOf(header, headerFile) || !cache_.identityOf(includer, includerFile)) return false;
        const auto same = [](const vimbo::platform::FileIdentity& a, const vimbo::platform::FileIdentity& b) {
            return a.device == b.device && a.file == b.file;
        };
        // The includer's own guard, when the first line inside it defines
        // it and nothing takes that back: found again while it is open, it
        // is read as nothing.
        const auto facts = cache_.facts(includer, true);
        const std::string ownGuard(facts ? controlIn(*facts, lookup) : std::string_view());
        const bool skipsItself = facts && !ownGuard.empty() && ownGuard != guard && facts->definesGuard &&
                                 facts->guardDefinedFirst && index_ && !index_->undefinedOrPredefined(ownGuard);
        // Reached in another way, the includer's line finds this header, or
        // the includer itself, which then skips itself.
        const auto alike = [&](const std::string& found) {
            vimbo::platform::FileIdentity file;
            if (found.empty() || !cache_.identityOf(found, file)) return false;
            return same(file, headerFile) || (skipsItself && same(file, includerFile));
        };
        std::vector<const HeaderLookup*> all{&lookup};
        for (const HeaderLookup& other : others) all.push_back(&other);
        for (const HeaderLookup* each : all) {
            // Found in a directory of the search: the directories after it.
            const std::string found = finder_.findNextLikeCompiler(name, includer, *each);
            vimbo::platform::FileIdentity file;
            if (found.empty() || !cache_.identityOf(found, file) || !same(file, headerFile) ||
                verifiedGuardMacro(found, *each) != guard)
                return false;
            // Found beside another file: the whole search; named by a path
            // of its own, or compiled itself: the search of an include.
            if (!alike(finder_.firstInChain(name, *each)) ||
                !alike(finder_.findLikeCompiler(name, quoted, includer, *each)))
                return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}

std::string wrappableHeader(const std::string& line, const ScannedLine& scanned, bool trusted,
                            const std::string& includer, const HeaderLookup& lookup, const HeaderFinder& finder,
                            const std::vector<std::string>& precompiledHeaders, IncludeName* unfound) {
    if (unfound) *unfound = {};
    if (!trusted || !scanned.startsClean || !scanned.endsClean) return "";
    std::string_view directive, rest;
    if (!readDirective(scanned.code, directive, rest)) return "";
    const IncludeRules& rules = rulesFor(lookup);
    if (!rules.includes(directive)) return "";
    // Text that is more than one line: what follows would end up inside the wrap.
    if (line.find('\n') != std::string::npos || line.find('\r') != std::string::npos) return "";
    IncludeName name;
    const bool named = rules.includeName(line, directive, rest, name);
    if (!rules.mayWrap(line, named, name, precompiledHeaders)) return "";
    std::string found = rules.find(line, name, includer, lookup, finder);
    // A search the paths can't follow, or that depends on an include stack
    // not known here, found nothing only for want of knowing.
    if (found.empty() && unfound && lookup.rules == LookupRules::compiler && lookup.followable &&
        !(lookup.includeStack && name.quoted) && !name.name.empty())
        *unfound = name;
    return found;
}

}  // namespace vimbo::analysis
