// Checks a tree as a build step or an editor would: no output of the
// engine's own, one line per file that would change, and the counts.
//   count_guards DIR [SEARCH_PATH]
#include <cstdio>
#include <string>

#include "vimbo/engine/batch.h"

namespace {

class Counter : public vimbo::engine::BatchObserver {
public:
    std::size_t files = 0, includes = 0;
    void progressBegun(std::size_t, const char*) override {}
    void progressMade(std::size_t) override {}
    void progressEnded() override {}
    void message(const std::string& lines) override { std::fputs(lines.c_str(), stderr); }
    void output(const std::string&) override {}
    void shown(const vimbo::engine::ShownFile& file) override {
        ++files;
        includes += file.findings.size();
        for (const vimbo::engine::Finding& finding : file.findings)
            std::printf("%s:%zu: %s -> %s\n", file.path.c_str(), finding.line, finding.include.c_str(),
                        finding.macro.c_str());
    }
    void summary(const std::string&, bool) override {}
    bool stillRead() override { return true; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: count_guards DIR [SEARCH_PATH]\n");
        return 2;
    }
    vimbo::engine::BatchRequest request;
    request.mode = vimbo::engine::BatchMode::check;
    request.tree = true;
    request.paths = {argv[1]};
    vimbo::engine::ProjectSettings settings;
    if (argc > 2) {
        request.includePath = argv[2];
        settings.includeGiven = true;
    }
    Counter counter;
    std::string problem;
    const int status = vimbo::engine::runProject(request, settings, counter, problem);
    if (!problem.empty()) std::fprintf(stderr, "count_guards: %s\n", problem.c_str());
    std::printf("%zu includes in %zu files can be wrapped (status %d)\n", counter.includes, counter.files, status);
    return status;
}
