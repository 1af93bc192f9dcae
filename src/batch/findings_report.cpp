#include "batch/findings_report.h"

#include <nlohmann/json.hpp>

#include "batch/unified_diff.h"
#include "vimbo/version.h"

using vimbo::engine::Finding;

namespace vimbo::batch {

namespace {

struct Rule {
    const char* id;
    const char* summary;
    const char* description;
    const char* help;
};

Rule ruleOf(vimbo::engine::FindingKind kind) {
    switch (kind) {
    case vimbo::engine::FindingKind::wrap:
        return {"missing-external-guard", "An include line whose header's guard could skip it",
                "The header is guarded by a macro that controls all of it, so the include line can stand between "
                "#ifndef and #endif of that macro: a preprocessor that lacks the multiple-include optimisation then "
                "never opens the header twice.",
                "Run vimbo --tree on the file (or apply vimbo --diff), or mark the line with // vimbo: keep."};
    case vimbo::engine::FindingKind::strip:
        return {"external-guard", "An external include guard around an include line",
                "The include line stands between #ifndef and #endif of its header's guard; --strip takes the two "
                "lines away.",
                "Run vimbo --strip on the file (or apply vimbo --strip --diff)."};
    case vimbo::engine::FindingKind::audit: break;
    }
    return {"wrong-external-guard", "An external include guard whose macro does not control its header",
            "The include line is wrapped in a macro meant as its header's guard, but that macro does not control the "
            "whole header: while it is defined, the header is skipped where the compiler would have read it.",
            "Run vimbo --strip-wrong on the file, then vimbo --tree to guard it with the right macro."};
}

// What happens to the include, without the place.
std::string sentence(const Finding& finding, vimbo::engine::FindingKind kind, bool dryRun) {
    switch (kind) {
    case vimbo::engine::FindingKind::wrap:
        return finding.include + (dryRun ? " would be wrapped in " : " was wrapped in ") + finding.macro;
    case vimbo::engine::FindingKind::strip:
        return finding.include + (dryRun ? " would lose its external guard " : " lost its external guard ") +
               finding.macro;
    case vimbo::engine::FindingKind::audit: break;
    }
    return finding.include + " is wrapped in " + finding.macro + ", but " + finding.reason;
}

// A relative path as a URI reference: every byte outside the unreserved
// set and "/" percent-encoded.
std::string uriOf(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    const std::string name = patchPath(path);
    std::string uri;
    for (unsigned char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    return uri;
}

std::string reasonOf(const Finding& finding, vimbo::engine::FindingKind kind, bool dryRun) {
    if (kind == vimbo::engine::FindingKind::audit) return finding.reason;
    if (kind == vimbo::engine::FindingKind::strip) return dryRun ? "would lose its external guard" : "lost its external guard";
    return dryRun ? "would be wrapped" : "wrapped";
}

const Rule kUnresolvedRule = {
    "unresolved-include", "An include line whose header the search path does not reach",
    "No directory of the file's search holds the header the line names, so its guard can't be known and the line "
    "is never wrapped. A file of that name in the project means the search path misses its directory.",
    "Give the directory with -i (or search-path in .vimbo.toml), or build with the compile database (-p)."};

nlohmann::ordered_json ruleJson(const Rule& rule) {
    return {{"id", rule.id},
            {"shortDescription", {{"text", rule.summary}}},
            {"fullDescription", {{"text", rule.description}}},
            {"help", {{"text", rule.help}}},
            {"defaultConfiguration", {{"level", "warning"}}}};
}

nlohmann::ordered_json locationOf(const std::string& path, std::size_t line, std::size_t column) {
    nlohmann::ordered_json region = {{"startLine", line}, {"startColumn", column}};
    return {{"physicalLocation",
             {{"artifactLocation", {{"uri", uriOf(path)}, {"uriBaseId", "%SRCROOT%"}}}, {"region", region}}}};
}

}  // namespace

std::string unresolvedSentence(const vimbo::engine::UnresolvedInclude& include) {
    return include.include + " not found on the search path" + (include.inProject ? "" : " (not in the project)");
}

std::string findingsJson(const std::vector<FileFindings>& files, vimbo::engine::FindingKind kind, bool dryRun) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const FileFindings& file : files)
        for (const Finding& finding : *file.findings)
            list.push_back({{"file", file.path},
                            {"line", finding.line},
                            {"column", finding.column},
                            {"include", finding.include},
                            {"macro", finding.macro},
                            {"reason", reasonOf(finding, kind, dryRun)}});
    for (const FileFindings& file : files)
        if (file.unresolved)
            for (const vimbo::engine::UnresolvedInclude& include : *file.unresolved)
                list.push_back({{"file", file.path},
                                {"line", include.line},
                                {"column", include.column},
                                {"include", include.include},
                                {"header", include.header},
                                {"reason", include.inProject ? "not found" : "not found, not in the project"},
                                {"rule", kUnresolvedRule.id}});
    return list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string findingsSarif(const std::vector<FileFindings>& files, vimbo::engine::FindingKind kind, bool dryRun) {
    const Rule rule = ruleOf(kind);
    nlohmann::ordered_json results = nlohmann::ordered_json::array();
    for (const FileFindings& file : files)
        for (const Finding& finding : *file.findings)
            results.push_back(
                {{"ruleId", rule.id},
                 {"ruleIndex", 0},
                 {"level", "warning"},
                 {"message", {{"text", sentence(finding, kind, dryRun)}}},
                 {"locations", nlohmann::ordered_json::array({locationOf(file.path, finding.line, finding.column)})}});
    nlohmann::ordered_json rules = nlohmann::ordered_json::array({ruleJson(rule)});
    for (const FileFindings& file : files)
        if (file.unresolved)
            for (const vimbo::engine::UnresolvedInclude& include : *file.unresolved) {
                if (rules.size() == 1) rules.push_back(ruleJson(kUnresolvedRule));
                results.push_back({{"ruleId", kUnresolvedRule.id},
                                   {"ruleIndex", 1},
                                   {"level", include.inProject ? "warning" : "note"},
                                   {"message", {{"text", unresolvedSentence(include)}}},
                                   {"locations", nlohmann::ordered_json::array(
                                                     {locationOf(file.path, include.line, include.column)})}});
            }
    nlohmann::ordered_json driver = {
        {"name", "vimbo"},
        {"version", VIMBO_VERSION},
        {"rules", rules}};
    nlohmann::ordered_json log = {
        {"$schema", "https://json.schemastore.org/sarif-2.1.0.json"},
        {"version", "2.1.0"},
        {"runs", nlohmann::ordered_json::array({{{"tool", {{"driver", driver}}}, {"results", results}}})}};
    return log.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string withVerdict(const std::string& document, vimbo::engine::OutputFormat format, const Verdict& verdict) {
    nlohmann::ordered_json counts = {{"verdict", !verdict.made ? "not made" : verdict.holds ? "holds" : "fails"},
                                     {"units", verdict.units},
                                     {"verified", verdict.verified},
                                     {"differing", verdict.differing},
                                     {"linesMoved", verdict.linesMoved},
                                     {"unverified", verdict.unverified},
                                     {"restored", verdict.restored}};
    nlohmann::ordered_json parsed = nlohmann::ordered_json::parse(document);
    nlohmann::ordered_json result;
    if (format == vimbo::engine::OutputFormat::sarif) {
        result = std::move(parsed);
        for (auto& run : result["runs"])
            run["invocations"] = nlohmann::ordered_json::array(
                {{{"executionSuccessful", verdict.made && verdict.holds}, {"properties", {{"verification", counts}}}}});
    } else {
        result = {{"findings", std::move(parsed)}, {"verification", counts}};
    }
    return result.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace vimbo::batch

namespace vimbo::engine {

std::string findingSentence(const Finding& finding, FindingKind kind, bool dryRun) {
    return vimbo::batch::sentence(finding, kind, dryRun);
}

}  // namespace vimbo::engine
