// A batch run as the command shows it: progress on a terminal, messages on
// standard error, results on standard output (coloured where asked).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "vimbo/engine/batch_observer.h"
#include "colour.h"
#include "progress.h"

namespace vimbo::cli {

class StreamObserver : public vimbo::engine::BatchObserver {
public:
    // `verbose`: a rewrite or a check names each include line, not only the file.
    StreamObserver(bool verbose, Painter painter) : verbose_(verbose), painter_(painter) {}

    void progressBegun(std::size_t total, const char* what) override;
    void progressMade(std::size_t done) override;
    void progressEnded() override;
    void message(const std::string& lines) override;
    void output(const std::string& text) override;
    void shown(const vimbo::engine::ShownFile& file) override;
    void unresolved(const std::string& path, const vimbo::engine::UnresolvedInclude& include, bool error) override;
    void summary(const std::string& line, bool onOutput) override;
    bool stillRead() override;

private:
    // The progress line goes before anything else is written.
    void clearProgress();

    bool verbose_;
    Painter painter_;
    std::optional<Progress> progress_;
};

}  // namespace vimbo::cli
