#include "batch/buffer_run.h"

#include "vimbo/engine/text_in_place.h"

namespace vimbo::batch {
namespace {

// Messages go on; the text report (file names, counts) would mix with the
// text on the output, and is left out.
class BufferObserver : public vimbo::engine::BatchObserver {
public:
    explicit BufferObserver(vimbo::engine::BatchObserver& to) : to_(to) {}
    void progressBegun(std::size_t, const char*) override {}
    void progressMade(std::size_t) override {}
    void progressEnded() override {}
    void message(const std::string& lines) override { to_.message(lines); }
    void output(const std::string&) override {}
    void shown(const vimbo::engine::ShownFile&) override {}
    void unresolved(const std::string& path, const vimbo::engine::UnresolvedInclude& include, bool error) override {
        to_.unresolved(path, include, error);
    }
    void summary(const std::string&, bool) override {}
    bool stillRead() override { return to_.stillRead(); }

private:
    vimbo::engine::BatchObserver& to_;
};

}  // namespace

int runBuffer(BatchSettings settings, const std::string& path, const std::string& text,
              const std::vector<vimbo::project::SkippedFile>& skipped, vimbo::engine::BatchObserver& observer) {
    if (settings.mode == vimbo::engine::BatchMode::rewrite || settings.mode == vimbo::engine::BatchMode::audit)
        settings.mode = vimbo::engine::BatchMode::check;
    settings.format = vimbo::engine::OutputFormat::text;
    settings.showProgress = false;
    const vimbo::engine::TextInPlace buffer(path, text, settings.fileSystem);
    if (!buffer.placed()) {
        observer.message("vimbo: " + path + ": can't take the text of standard input in its place\n");
        return 2;
    }
    std::vector<std::pair<std::string, std::string>> texts;
    settings.fileSystem = &buffer.ops();
    settings.dryRunTexts = &texts;
    BufferObserver quiet(observer);
    const int status = runBatch(settings, {path}, skipped, 0, quiet);
    if (status >= 2) return status;
    // A file the run skipped (too large, linked) keeps its text.
    for (const auto& [name, after] : texts)
        if (name == path) {
            observer.output(after);
            return 0;
        }
    observer.output(text);
    return 0;
}

}  // namespace vimbo::batch
