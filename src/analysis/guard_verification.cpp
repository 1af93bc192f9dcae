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

bool Vimbo::macroControlsHeader(const std::string& path, const std::string& macro) {
    try {
        return guardControls(path, macro, 0);
    } catch (...) {
        return false;
    }
}

std::string Vimbo::guardOfHeader(const std::string& path) {
    try {
        const auto facts = headerCache().facts(path, true);
        if (facts && !facts->controllingMacro.empty()) return facts->controllingMacro;
        return std::string(vimbo::analysis::trimBlanks(verifiedGuardMacro(path)));
    } catch (...) {
        return "";
    }
}

std::string Vimbo::verifiedGuardMacro(const std::string& path) {
    try {
        // One read of the header serves both the discovery and the check.
        const auto facts = headerCache().facts(path, true);
        if (!facts) return "";
        // A header's verdict depends on its version (the one read, even if
        // the file was replaced meanwhile) and on how the headers it names
        // are found.
        if (!headerCache().remembersVerdicts()) return examineVerdict(path, facts);
        const vimbo::platform::FileIdentity& identity = facts->identity;
        const std::string key = path + '\n' + std::to_string(identity.device) + ':' + std::to_string(identity.file) +
                                ':' + std::to_string(identity.size) + ':' + std::to_string(identity.modified) + '\n' +
                                settings->includePath() + '\n' + quotePath_ + '\n' +
                                (compilerLookup_ ? "compiler" : "own");
        std::string verdict;
        if (headerCache().knownVerdict(key, verdict)) return verdict;
        verdict = examineVerdict(path, facts);
        headerCache().rememberVerdict(key, verdict);
        return verdict;
    } catch (...) {
        return "";
    }
}

std::string Vimbo::examineVerdict(const std::string& path,
                                  const std::shared_ptr<const vimbo::analysis::HeaderFacts>& facts) {
    vimbo::analysis::GuardSearch search;
    const std::string candidate = findGuardMacro(path, search, facts);
    // "#if !defined( X )" gives the candidate with its blanks; it stands
    // for X all the same.
    const std::string macro(vimbo::analysis::trimBlanks(candidate));
    if (!vimbo::analysis::isIdentifier(macro) || !guardControls(path, macro, 0, facts)) return "";
    return candidate;
}

vimbo::analysis::HeaderCache& Vimbo::headerCache() {
    if (!headerCache_) {
        ownHeaderCache_ = std::make_shared<vimbo::analysis::HeaderCache>();
        headerCache_ = ownHeaderCache_.get();
    }
    return *headerCache_;
}
