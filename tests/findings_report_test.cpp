// --format json and --format sarif as the tools that read them do: each
// document parsed, and the fields a code-scanning service or a script
// looks at checked one by one.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "batch/findings_report.h"
#include "support/temp_dir.h"
#include "vimbo/version.h"

namespace {

using nlohmann::json;
namespace fs = std::filesystem;
using vimbo::batch::FileFindings;
using vimbo::engine::Finding;
using vimbo::engine::FindingKind;

struct Expected {
    std::string file, uri;
    std::size_t line, column;
    std::string include, macro, reason, message;
};

struct Case {
    const char* label;
    FindingKind kind;
    bool dryRun;
    std::vector<std::pair<std::string, std::vector<Finding>>> files;
    std::string ruleId;
    std::vector<Expected> expected;
};

const Finding kA{3, 1, "#include <a.h>", "A_H", ""};
const Finding kB{7, 5, "# include \"b.h\"", "B_H", ""};
const Finding kWrong{2, 1, "#include <w.h>", "W_H", "w.h is guarded by W_GUARD"};

const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        {"wrap, dry run", FindingKind::wrap, true, {{"src/a.c", {kA}}}, "missing-external-guard",
         {{"src/a.c", "src/a.c", 3, 1, "#include <a.h>", "A_H", "would be wrapped",
           "#include <a.h> can be wrapped in A_H"}}},
        {"wrap, rewritten", FindingKind::wrap, false, {{"src/a.c", {kA}}}, "missing-external-guard",
         {{"src/a.c", "src/a.c", 3, 1, "#include <a.h>", "A_H", "wrapped", "#include <a.h> was wrapped in A_H"}}},
        {"strip, dry run", FindingKind::strip, true, {{"src/a.c", {kA}}}, "external-guard",
         {{"src/a.c", "src/a.c", 3, 1, "#include <a.h>", "A_H", "would lose its external guard",
           "#include <a.h> would lose its external guard A_H"}}},
        {"strip, stripped", FindingKind::strip, false, {{"src/a.c", {kA}}}, "external-guard",
         {{"src/a.c", "src/a.c", 3, 1, "#include <a.h>", "A_H", "lost its external guard",
           "#include <a.h> lost its external guard A_H"}}},
        {"audit", FindingKind::audit, true, {{"a.h", {kWrong}}}, "wrong-external-guard",
         {{"a.h", "a.h", 2, 1, "#include <w.h>", "W_H", "w.h is guarded by W_GUARD",
           "#include <w.h> is wrapped in W_H, but w.h is guarded by W_GUARD"}}},
        // Files in the order given, findings in the order of their lines; a file without any adds nothing.
        {"several files", FindingKind::wrap, true, {{"b.c", {kA, kB}}, {"c.c", {}}, {"a.c", {kB}}},
         "missing-external-guard",
         {{"b.c", "b.c", 3, 1, "#include <a.h>", "A_H", "would be wrapped", "#include <a.h> can be wrapped in A_H"},
          {"b.c", "b.c", 7, 5, "# include \"b.h\"", "B_H", "would be wrapped",
           "# include \"b.h\" can be wrapped in B_H"},
          {"a.c", "a.c", 7, 5, "# include \"b.h\"", "B_H", "would be wrapped",
           "# include \"b.h\" can be wrapped in B_H"}}},
        // A URI reference percent-encodes every byte but the unreserved ones and "/".
        {"spaces", FindingKind::wrap, true, {{"my dir/ber #1.h", {kA}}}, "missing-external-guard",
         {{"my dir/ber #1.h", "my%20dir/ber%20%231.h", 3, 1, "#include <a.h>", "A_H", "would be wrapped",
           "#include <a.h> can be wrapped in A_H"}}},
#ifndef _WIN32
        // POSIX names are bytes, UTF-8 here; Windows names are the code page's.
        {"non-ASCII", FindingKind::wrap, true, {{"my dir/\xc3\xbc" "ber #1.h", {kA}}},
         "missing-external-guard",
         {{"my dir/\xc3\xbc" "ber #1.h", "my%20dir/%C3%BCber%20%231.h", 3, 1, "#include <a.h>", "A_H",
           "would be wrapped", "#include <a.h> can be wrapped in A_H"}}},
#endif
        {"nothing found", FindingKind::wrap, true, {}, "missing-external-guard", {}},
        {"nothing found in an audit", FindingKind::audit, true, {{"a.h", {}}}, "wrong-external-guard", {}},
    };
    return all;
}

std::vector<FileFindings> filesOf(const Case& c) {
    std::vector<FileFindings> files;
    for (const auto& [path, findings] : c.files) files.push_back({path, &findings});
    return files;
}

TEST(FindingsReport, JsonHasOneObjectPerFinding) {
    for (const Case& c : cases()) {
        const std::string text = vimbo::batch::findingsJson(filesOf(c), c.kind, c.dryRun);
        ASSERT_TRUE(json::accept(text)) << c.label << "\n" << text;
        EXPECT_EQ(text.back(), '\n') << c.label;
        const json document = json::parse(text);
        ASSERT_TRUE(document.is_array()) << c.label;
        ASSERT_EQ(document.size(), c.expected.size()) << c.label;
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            const Expected& e = c.expected[i];
            const json& finding = document[i];
            EXPECT_EQ(finding.size(), 6u) << c.label << " " << finding.dump();
            EXPECT_EQ(finding.value("file", ""), e.file) << c.label;
            EXPECT_EQ(finding.value("line", 0u), e.line) << c.label;
            EXPECT_EQ(finding.value("column", 0u), e.column) << c.label;
            EXPECT_EQ(finding.value("include", ""), e.include) << c.label;
            EXPECT_EQ(finding.value("macro", ""), e.macro) << c.label;
            EXPECT_EQ(finding.value("reason", ""), e.reason) << c.label;
        }
    }
}

// In a directory of its own: URIs are relative to the project's top.
class FindingsReportSarif : public vimbo::test::TempDirTest {};

TEST_F(FindingsReportSarif, OneResultPerFindingUnderOneRule) {
    for (const Case& c : cases()) {
        const std::string text = vimbo::batch::findingsSarif(filesOf(c), c.kind, c.dryRun);
        ASSERT_TRUE(json::accept(text)) << c.label << "\n" << text;
        const json log = json::parse(text);
        EXPECT_EQ(log.value("version", ""), "2.1.0") << c.label;
        EXPECT_NE(log.value("$schema", "").find("sarif-2.1.0"), std::string::npos) << c.label;
        ASSERT_EQ(log["runs"].size(), 1u) << c.label;
        const json& run = log["runs"][0];
        const json& driver = run["tool"]["driver"];
        EXPECT_EQ(driver.value("name", ""), "vimbo") << c.label;
        EXPECT_EQ(driver.value("version", ""), VIMBO_VERSION) << c.label;
        EXPECT_EQ(driver.value("semanticVersion", "").rfind(VIMBO_VERSION ".", 0), 0u) << c.label;
        EXPECT_EQ(driver.value("informationUri", "").rfind("https://", 0), 0u) << c.label;
        EXPECT_EQ(run["invocations"][0].value("executionSuccessful", false), true) << c.label;
        // file:///tmp/x/, or with a drive file:///C:/x/.
        std::string top = fs::canonical(root()).generic_string();
        if (top[0] != '/') top.insert(0, "/");
        EXPECT_EQ(run["originalUriBaseIds"]["%SRCROOT%"].value("uri", ""), "file://" + top + "/") << c.label;
        ASSERT_EQ(driver["rules"].size(), 1u) << c.label;
        EXPECT_EQ(driver["rules"][0].value("id", ""), c.ruleId) << c.label;
        EXPECT_FALSE(driver["rules"][0]["shortDescription"].value("text", "").empty()) << c.label;
        EXPECT_EQ(driver["rules"][0]["defaultConfiguration"].value("level", ""), "warning") << c.label;
        ASSERT_TRUE(run["results"].is_array()) << c.label;
        ASSERT_EQ(run["results"].size(), c.expected.size()) << c.label;
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            const Expected& e = c.expected[i];
            const json& result = run["results"][i];
            EXPECT_EQ(result.value("ruleId", ""), c.ruleId) << c.label;
            EXPECT_EQ(result.value("ruleIndex", -1), 0) << c.label;
            const bool done = !c.dryRun && c.kind != FindingKind::audit;
            EXPECT_EQ(result.value("level", ""), done ? "note" : "warning") << c.label;
            EXPECT_FALSE(result["partialFingerprints"].value("vimboFinding/v1", "").empty()) << c.label;
            EXPECT_EQ(result.contains("fixes"), c.dryRun && c.kind == FindingKind::wrap) << c.label;
            EXPECT_EQ(result["message"].value("text", ""), e.message) << c.label;
            ASSERT_EQ(result["locations"].size(), 1u) << c.label;
            const json& place = result["locations"][0]["physicalLocation"];
            EXPECT_EQ(place["artifactLocation"].value("uri", ""), e.uri) << c.label;
            EXPECT_EQ(place["artifactLocation"].value("uriBaseId", ""), "%SRCROOT%") << c.label;
            EXPECT_EQ(place["region"].value("startLine", 0u), e.line) << c.label;
            EXPECT_EQ(place["region"].value("startColumn", 0u), e.column) << c.label;
        }
    }
}

// A name that is no UTF-8 (a file system takes any bytes) still makes a
// document a JSON reader accepts.
// Run in a directory of its own: URIs are relative to the work tree's top.
using FindingsReportNames = vimbo::test::TempDirTest;
TEST_F(FindingsReportNames, BytesThatAreNoUtf8StillMakeADocument) {
    const std::vector<Finding> findings = {kA};
    const std::vector<FileFindings> files = {{"odd\xff.h", &findings}};
    const std::string text = vimbo::batch::findingsJson(files, FindingKind::wrap, true);
    ASSERT_TRUE(json::accept(text)) << text;
    EXPECT_EQ(json::parse(text)[0].value("file", ""), "odd\xef\xbf\xbd.h");
    const std::string sarif = vimbo::batch::findingsSarif(files, FindingKind::wrap, true);
    ASSERT_TRUE(json::accept(sarif)) << sarif;
#ifndef _WIN32
    // A POSIX name's bytes as they are; a Windows name is read in its code page.
    EXPECT_EQ(json::parse(sarif)["runs"][0]["results"][0]["locations"][0]["physicalLocation"]["artifactLocation"]
                  .value("uri", ""),
              "odd%FF.h");
#endif
}

// --verify's verdict: the JSON document becomes an object around the
// findings, the SARIF run gains an invocation, successful only where the
// rewrite stands.
TEST(FindingsReport, TheVerdictGoesWithTheFindings) {
    struct VerdictCase {
        const char* label;
        vimbo::batch::Verdict verdict;
        const char* word;
        bool successful;
    };
    vimbo::batch::Verdict holds;
    holds.made = holds.holds = true;
    holds.units = 5;
    holds.verified = 4;
    holds.unverified = 1;
    vimbo::batch::Verdict fails;
    fails.made = true;
    fails.restored = true;
    fails.units = 3;
    fails.verified = 3;
    fails.differing = 2;
    fails.linesMoved = 1;
    const VerdictCase verdicts[] = {
        {"not made", {}, "not made", false},
        {"holds", holds, "holds", true},
        {"fails", fails, "fails", false},
    };
    const std::vector<Finding> findings = {kA, kB};
    const std::vector<FileFindings> files = {{"a.c", &findings}};
    for (const VerdictCase& v : verdicts) {
        for (const bool empty : {false, true}) {
            const std::vector<FileFindings> given = empty ? std::vector<FileFindings>{} : files;
            const std::size_t count = empty ? 0 : 2;
            const auto checkCounts = [&](const json& counts) {
                EXPECT_EQ(counts.value("verdict", ""), v.word) << v.label;
                EXPECT_EQ(counts.value("units", 99u), v.verdict.units) << v.label;
                EXPECT_EQ(counts.value("verified", 99u), v.verdict.verified) << v.label;
                EXPECT_EQ(counts.value("differing", 99u), v.verdict.differing) << v.label;
                EXPECT_EQ(counts.value("linesMoved", 99u), v.verdict.linesMoved) << v.label;
                EXPECT_EQ(counts.value("unverified", 99u), v.verdict.unverified) << v.label;
                EXPECT_EQ(counts.value("restored", !v.verdict.restored), v.verdict.restored) << v.label;
            };

            const std::string jsonText = vimbo::batch::withVerdict(
                vimbo::batch::findingsJson(given, FindingKind::wrap, false), vimbo::engine::OutputFormat::json,
                v.verdict);
            ASSERT_TRUE(json::accept(jsonText)) << jsonText;
            const json object = json::parse(jsonText);
            ASSERT_TRUE(object.is_object()) << v.label;
            EXPECT_EQ(object.size(), 2u) << v.label;
            ASSERT_TRUE(object["findings"].is_array()) << v.label;
            EXPECT_EQ(object["findings"].size(), count) << v.label;
            if (!empty) {
                EXPECT_EQ(object["findings"][1].value("macro", ""), "B_H") << v.label;
            }
            checkCounts(object["verification"]);

            const std::string sarifText = vimbo::batch::withVerdict(
                vimbo::batch::findingsSarif(given, FindingKind::wrap, false), vimbo::engine::OutputFormat::sarif,
                v.verdict);
            ASSERT_TRUE(json::accept(sarifText)) << sarifText;
            const json log = json::parse(sarifText);
            EXPECT_EQ(log.value("version", ""), "2.1.0") << v.label;
            const json& run = log["runs"][0];
            EXPECT_EQ(run["results"].size(), count) << v.label;
            ASSERT_EQ(run["invocations"].size(), 1u) << v.label;
            EXPECT_EQ(run["invocations"][0].value("executionSuccessful", !v.successful), v.successful) << v.label;
            checkCounts(run["invocations"][0]["properties"]["verification"]);
        }
    }
}

}  // namespace

namespace {

// A fix's replacements applied to a text of one-byte columns, last first.
std::string applied(std::string text, const json& fix) {
    std::vector<std::size_t> lineStarts{0};
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') lineStarts.push_back(i + 1);
    const json& replacements = fix["artifactChanges"][0]["replacements"];
    for (auto it = replacements.rbegin(); it != replacements.rend(); ++it) {
        const json& region = (*it)["deletedRegion"];
        const std::size_t from = lineStarts[region["startLine"].get<std::size_t>() - 1] + region["startColumn"].get<std::size_t>() - 1;
        const std::size_t to = lineStarts[region["endLine"].get<std::size_t>() - 1] + region["endColumn"].get<std::size_t>() - 1;
        text.replace(from, to - from, (*it)["insertedContent"]["text"].get<std::string>());
    }
    return text;
}

}  // namespace

// What a code-scanning service keeps between runs and offers to apply.
TEST_F(FindingsReportSarif, FixesFingerprintsAndFailedFiles) {
    const std::vector<Finding> first = {{1, 3, "#include <a.h>", "A_H", ""}, {2, 1, "#include <b.h>", "B_H", ""}};
    const std::vector<Finding> moved = {{4, 3, "#include <a.h>", "A_H", ""}, {5, 1, "#include <a.h>", "A_H", ""}};
    const json before = json::parse(vimbo::batch::findingsSarif({{"m.c", &first}}, FindingKind::wrap, true));
    const json after = json::parse(vimbo::batch::findingsSarif({{"m.c", &moved}}, FindingKind::wrap, true));
    const auto print = [](const json& log, std::size_t i) {
        return log["runs"][0]["results"][i]["partialFingerprints"]["vimboFinding/v1"].get<std::string>();
    };
    EXPECT_EQ(print(before, 0), print(after, 0)) << "a line that moved is the same finding";
    EXPECT_NE(print(after, 0), print(after, 1)) << "two alike lines are two findings";
    EXPECT_NE(print(before, 0), print(before, 1));
    EXPECT_EQ(applied("  #include <a.h>\n#include <b.h>\n", before["runs"][0]["results"][0]["fixes"][0]),
              "#ifndef A_H\n  #include <a.h>\n#endif\n#include <b.h>\n");

    vimbo::batch::RunTrouble trouble;
    trouble.failedFiles.emplace_back("x.c", "can't be read");
    const json failed = json::parse(vimbo::batch::findingsSarif({}, FindingKind::wrap, true, trouble));
    const json& invocation = failed["runs"][0]["invocations"][0];
    EXPECT_FALSE(invocation["executionSuccessful"].get<bool>());
    ASSERT_EQ(invocation["toolExecutionNotifications"].size(), 1u);
    EXPECT_EQ(invocation["toolExecutionNotifications"][0]["level"], "error");
    EXPECT_EQ(invocation["toolExecutionNotifications"][0]["message"]["text"], "x.c: can't be read");
}
