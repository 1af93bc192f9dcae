#include "batch/findings_report.h"

#include <cstdint>
#include <filesystem>
#include <map>

#include <nlohmann/json.hpp>

#include "batch/unified_diff.h"
#include "project/project_headers.h"
#include "vimbo/version.h"

namespace fs = std::filesystem;
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
        return finding.include + (dryRun ? " can be wrapped in " : " was wrapped in ") + finding.macro;
    case vimbo::engine::FindingKind::strip:
        return finding.include + (dryRun ? " would lose its external guard " : " lost its external guard ") +
               finding.macro;
    case vimbo::engine::FindingKind::audit: break;
    }
    return finding.include + " is wrapped in " + finding.macro + ", but " + finding.reason;
}

// Bytes of a path as a URI reference: every one outside the unreserved set
// and "/" percent-encoded (`colon`: ":" too stays, as an absolute path may
// hold it: a drive, file:///C:/x).
std::string encoded(const std::string& name, bool colon = false) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string uri;
    for (unsigned char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_' || c == '~' || c == '/' || (colon && c == ':');
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

// An absolute path as a file URI: file:///usr/x, file:///C:/x.
std::string fileUri(std::string name) {
    if (name.empty() || name[0] != '/') name.insert(0, "/");
    return "file://" + encoded(name, true);
}

// Where the log's relative URIs start: the project's top, absolute, with a
// "/" at its end.
std::string topDirectory() {
    std::error_code error;
    std::string top = fs::weakly_canonical(fs::absolute(vimbo::project::projectTop(), error), error).generic_string();
    if (top.empty() || top.back() != '/') top += '/';
    return top;
}

// A file's artifact location: relative to the top under %SRCROOT%, or,
// outside it, an absolute file URI.
nlohmann::ordered_json artifactOf(const std::string& path, const std::string& top) {
    std::error_code error;
    const fs::path absolute = fs::weakly_canonical(fs::absolute(path, error), error);
    const fs::path relative = absolute.lexically_relative(top);
    if (!error && !relative.empty() && *relative.begin() != "..")
        return {{"uri", encoded(relative.generic_string())}, {"uriBaseId", "%SRCROOT%"}};
    return {{"uri", fileUri(absolute.generic_string())}};
}

// A fingerprint that survives lines moving: the rule, the file, the line's
// text and the guard, and which of the file's alike lines it is (FNV-1a).
std::string fingerprintOf(const std::string& rule, const std::string& uri, const std::string& include,
                          const std::string& macro, std::size_t occurrence) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const std::string* part : {&rule, &uri, &include, &macro})
        for (unsigned char c : *part + '\0') hash = (hash ^ c) * 1099511628211ull;
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (int shift = 60; shift >= 0; shift -= 4) text += kHex[(hash >> shift) & 15];
    return text + ":" + std::to_string(occurrence);
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

nlohmann::ordered_json locationOf(const nlohmann::ordered_json& artifact, std::size_t line, std::size_t column) {
    nlohmann::ordered_json region = {{"startLine", line}, {"startColumn", column}};
    return {{"physicalLocation", {{"artifactLocation", artifact}, {"region", region}}}};
}

// The wrap as a fix: "#ifndef G" before the line, "#endif" after its text.
nlohmann::ordered_json wrapFix(const nlohmann::ordered_json& artifact, const Finding& finding) {
    const std::size_t end = finding.column + finding.include.size();
    const auto insertion = [](std::size_t line, std::size_t column, const std::string& text) {
        return nlohmann::ordered_json{
            {"deletedRegion", {{"startLine", line}, {"startColumn", column}, {"endLine", line}, {"endColumn", column}}},
            {"insertedContent", {{"text", text}}}};
    };
    return {{"description", {{"text", "Wrap the line in #ifndef " + finding.macro + " / #endif"}}},
            {"artifactChanges",
             nlohmann::ordered_json::array(
                 {{{"artifactLocation", artifact},
                   {"replacements", nlohmann::ordered_json::array(
                                        {insertion(finding.line, 1, "#ifndef " + finding.macro + "\n"),
                                         insertion(finding.line, end, "\n#endif")})}}})}};
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

std::string findingsSarif(const std::vector<FileFindings>& files, vimbo::engine::FindingKind kind, bool dryRun,
                          const RunTrouble& trouble) {
    const Rule rule = ruleOf(kind);
    const std::string top = topDirectory();
    // What a rewrite has done is told, not asked for.
    const char* level = dryRun || kind == vimbo::engine::FindingKind::audit ? "warning" : "note";
    nlohmann::ordered_json results = nlohmann::ordered_json::array();
    nlohmann::ordered_json rules = nlohmann::ordered_json::array({ruleJson(rule)});
    for (const FileFindings& file : files) {
        const nlohmann::ordered_json artifact = artifactOf(file.path, top);
        std::map<std::string, std::size_t> alike;
        for (const Finding& finding : *file.findings) {
            nlohmann::ordered_json result = {
                {"ruleId", rule.id},
                {"ruleIndex", 0},
                {"level", level},
                {"message", {{"text", sentence(finding, kind, dryRun)}}},
                {"locations", nlohmann::ordered_json::array({locationOf(artifact, finding.line, finding.column)})},
                {"partialFingerprints",
                 {{"vimboFinding/v1", fingerprintOf(rule.id, artifact["uri"], finding.include, finding.macro,
                                                    alike[finding.include + '\n' + finding.macro]++)}}}};
            if (dryRun && kind == vimbo::engine::FindingKind::wrap)
                result["fixes"] = nlohmann::ordered_json::array({wrapFix(artifact, finding)});
            results.push_back(std::move(result));
        }
        if (file.unresolved)
            for (const vimbo::engine::UnresolvedInclude& include : *file.unresolved) {
                if (rules.size() == 1) rules.push_back(ruleJson(kUnresolvedRule));
                results.push_back(
                    {{"ruleId", kUnresolvedRule.id},
                     {"ruleIndex", 1},
                     {"level", include.inProject ? "warning" : "note"},
                     {"message", {{"text", unresolvedSentence(include)}}},
                     {"locations", nlohmann::ordered_json::array({locationOf(artifact, include.line, include.column)})},
                     {"partialFingerprints",
                      {{"vimboFinding/v1", fingerprintOf(kUnresolvedRule.id, artifact["uri"], include.include, "",
                                                         alike[include.include + '\n']++)}}}});
            }
    }
    nlohmann::ordered_json notifications = nlohmann::ordered_json::array();
    for (const auto& [path, why] : trouble.failedFiles)
        notifications.push_back({{"level", "error"},
                                 {"message", {{"text", path + ": " + why}}},
                                 {"locations", nlohmann::ordered_json::array(
                                                   {{{"physicalLocation", {{"artifactLocation", artifactOf(path, top)}}}}})}});
    for (const std::string& error : trouble.errors)
        notifications.push_back({{"level", "error"}, {"message", {{"text", error}}}});
    nlohmann::ordered_json invocation = {{"executionSuccessful", notifications.empty()}};
    if (!notifications.empty()) invocation["toolExecutionNotifications"] = notifications;
    nlohmann::ordered_json driver = {
        {"name", "vimbo"},
        {"version", VIMBO_VERSION},
        {"semanticVersion", std::to_string(VIMBO_VERSION_MAJOR) + "." + std::to_string(VIMBO_VERSION_MINOR) + ".0"},
        {"informationUri", VIMBO_HOMEPAGE},
        {"rules", rules}};
    nlohmann::ordered_json run = {
        {"tool", {{"driver", driver}}},
        {"invocations", nlohmann::ordered_json::array({invocation})},
        {"originalUriBaseIds", {{"%SRCROOT%", {{"uri", fileUri(top)}}}}},
        {"results", results}};
    nlohmann::ordered_json log = {{"$schema", "https://json.schemastore.org/sarif-2.1.0.json"},
                                  {"version", "2.1.0"},
                                  {"runs", nlohmann::ordered_json::array({run})}};
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
        // The run's own invocation, its trouble kept, now also the verdict's.
        for (auto& run : result["runs"]) {
            if (!run.contains("invocations") || run["invocations"].empty())
                run["invocations"] = nlohmann::ordered_json::array({{{"executionSuccessful", true}}});
            auto& invocation = run["invocations"][0];
            invocation["executionSuccessful"] = invocation["executionSuccessful"].get<bool>() && verdict.made && verdict.holds;
            invocation["properties"] = {{"verification", counts}};
        }
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

const char* findingRule(FindingKind kind) { return vimbo::batch::ruleOf(kind).id; }

std::string findingDiagnostic(const std::string& path, const Finding& finding, FindingKind kind, bool dryRun) {
    const bool done = !dryRun && kind != FindingKind::audit;
    return path + ":" + std::to_string(finding.line) + ":" + std::to_string(finding.column) + ": " +
           (done ? "note: " : "warning: ") + findingSentence(finding, kind, dryRun) + " [" + findingRule(kind) + "]";
}

}  // namespace vimbo::engine
