// A batch observer that keeps what it is told, for tests to read: the run's
// messages, output and summaries as text, and the files shown in order with
// their findings and diffs.
#pragma once

#include <string>
#include <vector>

#include "batch/findings_report.h"
#include "vimbo/engine/batch_observer.h"

namespace vimbo::test {

class RecordingObserver : public vimbo::engine::BatchObserver {
public:
    std::string messages;   // notes, warnings, failures
    std::string documents;  // what goes to the results' reader
    std::string summaries;  // the counts, and a verification's verdict
    std::vector<std::string> shownFiles;
    std::string findings;  // "FILE:LINE: sentence" a line, as an audit or --verbose shows them
    std::string diffs;     // --diff: each file's diff in turn
    std::string unresolvedLines;  // "FILE:LINE:COL: error|warning|note: sentence" a line
    std::size_t progressSteps = 0;

    void progressBegun(std::size_t, const char*) override {}
    void progressMade(std::size_t) override { ++progressSteps; }
    void progressEnded() override {}
    void message(const std::string& lines) override { messages += lines; }
    void output(const std::string& text) override { documents += text; }
    void shown(const vimbo::engine::ShownFile& file) override {
        shownFiles.push_back(file.path);
        for (const vimbo::engine::Finding& finding : file.findings)
            findings += file.path + ":" + std::to_string(finding.line) + ": " +
                        vimbo::batch::findingSentence(finding, file.kind, file.dryRun) + "\n";
        if (file.diff) diffs += *file.diff;
    }
    void unresolved(const std::string& path, const vimbo::engine::UnresolvedInclude& include, bool error) override {
        unresolvedLines += path + ":" + std::to_string(include.line) + ":" + std::to_string(include.column) + ": " +
                           (error ? "error" : include.inProject ? "warning" : "note") + ": " +
                           vimbo::batch::unresolvedSentence(include) + "\n";
    }
    void summary(const std::string& line, bool) override { summaries += line; }
    bool stillRead() override { return true; }
};

}  // namespace vimbo::test
