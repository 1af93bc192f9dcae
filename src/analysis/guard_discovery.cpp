// Which macro guards a header, as a candidate: its own "#ifndef" (or
// "#if !defined") test that matches its name, or the guard of a header that
// it includes before that test.
#include <algorithm>

#include "analysis/guard_search.h"
#include "analysis/header_cache.h"
#include "analysis/include_directive.h"
#include "analysis/keywords.h"
#include "interface/vimbo.h"

using vimbo::analysis::GuardSearch;

std::string Vimbo::findGuardMacro(const std::string& path) {
    try {
        GuardSearch search;
        return findGuardMacro(path, search);
    } catch (...) {
        return "";
    }
}

std::string Vimbo::findGuardMacro(const std::string& path, GuardSearch& search,
                                  std::shared_ptr<const vimbo::analysis::HeaderFacts> facts) {
    if (path.empty()) return "";
    // An include cycle ends here: the header is already being read above.
    if (std::find(search.chain.begin(), search.chain.end(), path) != search.chain.end()) return "";
    if (search.chain.size() >= GuardSearch::kMaxDepth) return "";
    auto known = search.known.find(path);
    if (known != search.known.end()) return known->second;

    if (!facts) facts = headerCache().facts(path);
    if (!facts) return "";

    search.chain.push_back(path);
    std::string guard;
    for (const vimbo::analysis::DiscoveryStep& step : facts->discovery) {
        if (!step.include) {
            guard = step.text;
            break;
        }
        const std::string line = vimbo::analysis::kIncludeKeyword + " " + step.text;
        guard = findGuardMacro(compilerLookup_ ? nestedHeader(line, path) : locateIncludeFile(line), search);
        if (!guard.empty()) break;
    }
    search.chain.pop_back();

    search.known.emplace(path, guard);
    return guard;
}
