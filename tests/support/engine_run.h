// Runs a batch request in process, in the current directory, as the command
// would with the matching options; what the run told is kept for the test.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "vimbo/engine/batch.h"

namespace vimbo::test {

struct EngineOutcome {
    int status = 0;
    std::string usageProblem;  // what the command would give as a usage error
    std::string messages;      // notes, warnings, failures (standard error)
    std::string documents;     // JSON or SARIF, an audit's shared-guard lines
    std::string summaries;     // the counts
    std::vector<std::string> shownFiles;
    std::string findings;  // "FILE:LINE: sentence" lines of the files shown
    std::string diffs;     // --diff: the files' diffs
    std::string unresolved;  // "FILE:LINE:COL: SEVERITY: sentence" per include line not found
};

// The request and settings the command's options make, built up a call at a
// time: engineRun({"proj"}).include("inc").tree().run().
struct EngineRun {
    vimbo::engine::BatchRequest request;
    vimbo::engine::ProjectSettings settings;

    explicit EngineRun(std::vector<std::string> paths) { request.paths = std::move(paths); }
    EngineRun& include(std::string path) {  // -i PATH
        request.includePath = std::move(path);
        settings.includeGiven = true;
        return *this;
    }
    EngineRun& tree() { return request.tree = true, *this; }
    EngineRun& mode(vimbo::engine::BatchMode mode) { return request.mode = mode, *this; }
    EngineRun& check() { return mode(vimbo::engine::BatchMode::check); }
    EngineRun& diff() { return mode(vimbo::engine::BatchMode::diff); }
    EngineRun& audit() { return mode(vimbo::engine::BatchMode::audit); }
    EngineRun& strip(vimbo::engine::Strip strip = vimbo::engine::Strip::all) { return request.strip = strip, *this; }
    EngineRun& backup() { return request.backup = true, *this; }  // -b
    EngineRun& jobs(unsigned count) { return request.jobs = count, *this; }
    EngineRun& keepLines() { return settings.keepLines = true, *this; }
    EngineRun& strict() { return settings.strict = true, *this; }
    EngineRun& format(vimbo::engine::OutputFormat format) { return request.format = format, *this; }
    EngineRun& buildDirectory(std::string directory) {  // -p DIR
        settings.buildDirectory = std::move(directory);
        return *this;
    }
    EngineRun& noGitIgnore() { return request.gitIgnore = false, *this; }

    // Messages about cc and c++ missing (a machine without them) are left
    // out, as runVimbo leaves them out.
    EngineOutcome run() const;
};

inline EngineRun engineRun(std::vector<std::string> paths) { return EngineRun(std::move(paths)); }

}  // namespace vimbo::test
