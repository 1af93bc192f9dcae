#include "support/engine_run.h"

#include "support/recording_observer.h"

namespace vimbo::test {
namespace {

std::string withoutDefaultCompilerWarnings(const std::string& messages) {
    std::string kept;
    for (std::size_t start = 0; start < messages.size();) {
        std::size_t end = messages.find('\n', start);
        end = end == std::string::npos ? messages.size() : end + 1;
        const std::string line = messages.substr(start, end - start);
        if (line.rfind("vimbo: warning: can't run cc to ask for its search list; ", 0) != 0 &&
            line.rfind("vimbo: warning: can't run c++ to ask for its search list; ", 0) != 0)
            kept += line;
        start = end;
    }
    return kept;
}

}  // namespace

EngineOutcome EngineRun::run() const {
    RecordingObserver told;
    EngineOutcome outcome;
    outcome.status = vimbo::engine::runProject(request, settings, told, outcome.usageProblem);
    outcome.messages = withoutDefaultCompilerWarnings(told.messages);
    outcome.documents = told.documents;
    outcome.summaries = told.summaries;
    outcome.shownFiles = told.shownFiles;
    outcome.findings = told.findings;
    outcome.diffs = told.diffs;
    outcome.unresolved = told.unresolvedLines;
    return outcome;
}

}  // namespace vimbo::test
