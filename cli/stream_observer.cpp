#include "stream_observer.h"

#include <iostream>

#include "vimbo/engine/finding_sentence.h"

namespace vimbo::cli {
namespace {

// "FILE:LINE:COLUMN: warning: #include <x.h> can be wrapped in G
// [missing-external-guard]", its place in bold.
std::string findingLine(const std::string& path, const vimbo::engine::Finding& finding,
                        vimbo::engine::FindingKind kind, bool dryRun, const Painter& painter) {
    const std::string place = path + ":" + std::to_string(finding.line) + ":" + std::to_string(finding.column) + ":";
    const std::string line = vimbo::engine::findingDiagnostic(path, finding, kind, dryRun);
    return painter.bold(place) + line.substr(place.size()) + "\n";
}

}  // namespace

void StreamObserver::progressBegun(std::size_t total, const char* what) {
    if (!quiet_) progress_.emplace(total, what);
}

void StreamObserver::progressMade(std::size_t done) {
    if (progress_) progress_->done(done);
}

void StreamObserver::progressEnded() { progress_.reset(); }

void StreamObserver::clearProgress() {
    if (progress_) progress_->clear();
}

void StreamObserver::message(const std::string& lines) {
    clearProgress();
    for (std::size_t start = 0; start < lines.size();) {
        std::size_t end = lines.find('\n', start);
        if (end == std::string::npos) end = lines.size();
        const std::string whole = lines.substr(start, end == lines.size() ? end - start : end + 1 - start);
        std::string line = lines.substr(start, end - start);
        start = end + 1;
        if (line.rfind("vimbo: ", 0) == 0) line.erase(0, 7);
        const bool note = line.rfind("note:", 0) == 0 || line.find(": note: ") != std::string::npos;
        if (!(quiet_ && note)) std::cerr << whole;
        if (!line.empty() && !note && line.rfind("warning:", 0) != 0 && line.find(": warning: ") == std::string::npos)
            errors_.push_back(line);
    }
}

void StreamObserver::output(const std::string& text) {
    clearProgress();
    documentShown_ = true;
    std::cout << text;
}

void StreamObserver::shown(const vimbo::engine::ShownFile& file) {
    clearProgress();
    // An audit lists every wrong guard; a rewrite or a check with --verbose
    // each include line; a check the file's name; --diff the diff.
    if (file.kind == vimbo::engine::FindingKind::audit || (verbose_ && !file.diff)) {
        for (const vimbo::engine::Finding& finding : file.findings)
            std::cout << findingLine(file.path, finding, file.kind, file.dryRun, painter_);
    } else if (file.diff) {
        std::cout << colouredDiff(*file.diff, painter_);
    } else if (file.dryRun) {
        std::cout << file.path << "\n";
    }
}

// As a compiler says it, on standard error: an error under --strict, a
// warning for a project's header, a note (with --verbose) for another.
void StreamObserver::unresolved(const std::string& path, const vimbo::engine::UnresolvedInclude& include,
                                bool error) {
    if (!error && !verbose_) return;
    clearProgress();
    const char* severity = error ? "error" : include.inProject ? "warning" : "note";
    std::cerr << painter_.bold(path + ":" + std::to_string(include.line) + ":" + std::to_string(include.column) + ":") +
                     " " + severity + ": " + include.include + " not found on the search path" +
                     (include.inProject ? "" : " (not in the project)") + " [unresolved-include]\n";
}

void StreamObserver::summary(const std::string& line, bool onOutput) {
    clearProgress();
    if (quiet_) return;
    // Nothing goes to standard output once its reader is gone.
    std::ostream& out = onOutput && std::cout ? std::cout : std::cerr;
    out << line;
    out.flush();
}

bool StreamObserver::stillRead() { return static_cast<bool>(std::cout.flush()); }

}  // namespace vimbo::cli
