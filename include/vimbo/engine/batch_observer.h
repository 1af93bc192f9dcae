// What a batch run tells as it goes, for the front end to show: the run
// itself writes nothing on a terminal or a stream. Calls come from one
// thread at a time; a file's results come in the order of the list.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "vimbo/engine/file_rewriter.h"

namespace vimbo::engine {

enum class FindingKind { wrap, strip, audit };

// A file a text report shows: one whose text a run changed (or would), or
// whose external guards an audit found wrong.
struct ShownFile {
    const std::string& path;
    const std::vector<Finding>& findings;
    FindingKind kind;
    bool dryRun;
    // --diff: the file's unified diff; otherwise null.
    const std::string* diff = nullptr;
};

class BatchObserver {
public:
    virtual ~BatchObserver() = default;

    // A count of `total` things begins ("files", "translation units"), goes
    // on (`done` of them), and ends.
    virtual void progressBegun(std::size_t total, const char* what) = 0;
    virtual void progressMade(std::size_t done) = 0;
    virtual void progressEnded() = 0;

    // For people: notes, warnings and failures, whole lines.
    virtual void message(const std::string& lines) = 0;
    // For whoever reads the results: a JSON or SARIF document, or an audit's
    // lines about shared guards.
    virtual void output(const std::string& text) = 0;
    // A file's results in a text report.
    virtual void shown(const ShownFile& file) = 0;
    // An include line of `path` whose header the search did not find;
    // `error`: --strict makes it one. Comes before the file's results.
    virtual void unresolved(const std::string& path, const UnresolvedInclude& include, bool error) {
        (void)path, (void)include, (void)error;
    }
    // The run's counts; `onOutput`: a rewrite's, which goes with its results
    // while anyone reads them.
    virtual void summary(const std::string& line, bool onOutput) = 0;
    // Whether the results are still read: a reader that went away (`| head`)
    // ends the run as a signal does.
    virtual bool stillRead() = 0;
};

// Tells nobody anything: a run whose status and documents say all.
class QuietObserver : public BatchObserver {
public:
    void progressBegun(std::size_t, const char*) override {}
    void progressMade(std::size_t) override {}
    void progressEnded() override {}
    void message(const std::string&) override {}
    void output(const std::string&) override {}
    void shown(const ShownFile&) override {}
    void summary(const std::string&, bool) override {}
    bool stillRead() override { return true; }
};

}  // namespace vimbo::engine
