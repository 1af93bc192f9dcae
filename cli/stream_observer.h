// A batch run as the command shows it: progress on a terminal, messages on
// standard error, results on standard output (coloured where asked).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "vimbo/engine/batch_observer.h"
#include "colour.h"
#include "progress.h"

namespace vimbo::cli {

class StreamObserver : public vimbo::engine::BatchObserver {
public:
    // `verbose`: a rewrite or a check names each include line, not only the
    // file; `quiet`: no notes, progress or summary line (what a hook shows).
    StreamObserver(bool verbose, Painter painter, bool quiet = false)
        : verbose_(verbose), quiet_(quiet), painter_(painter) {}

    void progressBegun(std::size_t total, const char* what) override;
    void progressMade(std::size_t done) override;
    void progressEnded() override;
    void message(const std::string& lines) override;
    void output(const std::string& text) override;
    void shown(const vimbo::engine::ShownFile& file) override;
    void unresolved(const std::string& path, const vimbo::engine::UnresolvedInclude& include, bool error) override;
    void summary(const std::string& line, bool onOutput) override;
    bool stillRead() override;

    // Whether a document went to standard output; the errors told so far
    // (lines neither notes nor warnings), for a document made without the run.
    bool documentShown() const { return documentShown_; }
    const std::vector<std::string>& errorsTold() const { return errors_; }

private:
    // The progress line goes before anything else is written.
    void clearProgress();

    bool verbose_;
    bool quiet_;
    Painter painter_;
    std::optional<Progress> progress_;
    bool documentShown_ = false;
    std::vector<std::string> errors_;
};

}  // namespace vimbo::cli
