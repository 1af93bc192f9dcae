// A candidate guard is only used when skipping the header while it is
// defined changes nothing: the macro controls the whole header, or the header
// only forwards to headers that it controls.
#include "analysis/guard_search.h"
#include "analysis/header_cache.h"
#include "analysis/path_parts.h"
#include "analysis/source_scanner.h"
#include "interface/vimbo.h"

namespace {
// Forwarders of forwarders are followed this deep; it also ends cycles.
constexpr int kMaxForwardingDepth = 16;

}  // namespace

bool Vimbo::guardControls(const std::string& path, const std::string& guard, int depth,
                          std::shared_ptr<const vimbo::analysis::HeaderFacts> facts) {
    if (!facts) facts = headerCache().facts(path, true);
    if (!facts) return false;
    if (facts->controllingMacro == guard) return true;
    if (!facts->forwarder || depth >= kMaxForwardingDepth) return false;
    for (const vimbo::analysis::ForwardedInclude& include : facts->forwards) {
        const std::string target = findHeaderLikeCompiler(include.name, include.quoted, path);
        if (target.empty() || !guardControls(target, guard, depth + 1)) return false;
    }
    return true;
}

std::string Vimbo::verifiedGuardMacro(const std::string& path) {
    try {
        // One read of the header serves both the discovery and the check.
        const auto facts = headerCache().facts(path, true);
        if (!facts) return "";
        vimbo::analysis::GuardSearch search;
        const std::string candidate = findGuardMacro(path, search, facts);
        // "#if !defined( X )" gives the candidate with its blanks; it stands
        // for X all the same.
        const std::string macro(vimbo::analysis::trimBlanks(candidate));
        if (!vimbo::analysis::isIdentifier(macro) || !guardControls(path, macro, 0, facts)) return "";
        return candidate;
    } catch (...) {
        return "";
    }
}

vimbo::analysis::HeaderCache& Vimbo::headerCache() {
    if (!headerCache_) {
        ownHeaderCache_ = std::make_shared<vimbo::analysis::HeaderCache>();
        headerCache_ = ownHeaderCache_.get();
    }
    return *headerCache_;
}
