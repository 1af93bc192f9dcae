#include "verified_run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "vimbo/engine/interruption.h"
#include "kept_files.h"
#include "vimbo/engine/child_process.h"
#include "preprocess_command.h"
#include "preprocessed_unit.h"

namespace fs = std::filesystem;
using vimbo::platform::Interruption;

namespace vimbo::cli {
namespace {

std::vector<Unit> unitsOf(const CompileDatabase& database) {
    std::vector<Unit> units;
    for (const CompileEntry& entry : database.entries()) {
        Unit unit;
        unit.file = entry.file;
        unit.directory = entry.directory;
        std::vector<std::string> words;
        if (expandResponseFiles(entry.arguments, entry.directory, words, unit.problem) &&
            preprocessCommand(words, unit.command, unit.problem))
            preprocessCommand(words, unit.fixedCommand, unit.problem, true);
        units.push_back(std::move(unit));
    }
    return units;
}

// Where a unit's outputs go, in a directory of this user's alone.
class Outputs {
public:
    explicit Outputs(fs::path directory) : directory_(std::move(directory)) {}
    ~Outputs() {
        std::error_code error;
        if (!directory_.empty()) fs::remove_all(directory_, error);
    }
    fs::path operator()(std::size_t unit, const char* pass) const {
        return directory_ / (std::to_string(unit) + pass);
    }
    // Runs one of the unit's commands and gives the hash of what it printed.
    bool hash(const Unit& unit, const std::vector<std::string>& command, std::size_t index, const char* pass,
              std::uint64_t& hash, std::string& failure, bool keep = false) const {
        const fs::path output = (*this)(index, pass);
        const bool ok = preprocess(command, unit.directory, output, failure);
        if (ok) hash = hashOf(output);
        std::error_code error;
        if (!keep) fs::remove(output, error);
        return ok;
    }

private:
    fs::path directory_;
};

std::string joined(const std::vector<std::string>& parts, const char* between) {
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : between) + part;
    return text;
}

// The first few names of a long list, and how many more there are.
constexpr std::size_t kNamesShown = 10;
std::string someOf(std::vector<std::string> names) {
    const std::size_t more = names.size() > kNamesShown ? names.size() - kNamesShown : 0;
    names.resize(names.size() - more);
    return joined(names, ", ") + (more ? " and " + std::to_string(more) + " more" : "");
}

std::string secondsSince(std::chrono::steady_clock::time_point started) {
    char took[64];
    std::snprintf(took, sizeof took, "%.1f s",
                  std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    return took;
}

// One verification, phase by phase: each returns false (with the exit
// status in `status_`) when the run ends there.
class Verification {
public:
    Verification(const VerifySettings& settings, const RewriteStep& rewrite, const fs::path& outputs)
        : settings_(settings), rewrite_(rewrite), dry_(settings.dryRun), output_(outputs),
          units_(unitsOf(*settings.database)) {}

    int status() const { return status_; }

    // A dry run checks a copy of the tree that holds the units and the files.
    bool mirrorTheTree() {
        if (!dry_) return true;
        fs::path root;
        const auto widen = [&](const std::string& path) {
            const fs::path directory = absoluteNormal(path).parent_path();
            root = root.empty() ? directory : commonPart(root, directory);
        };
        for (const Unit& unit : units_) widen(unit.directory + "/."), widen(unit.file);
        for (const std::string& file : settings_.files) widen(file);
        std::string problem;
        if (root.empty() || root == root.root_path()) return stop(2, "--verify: the units and files have no common directory to copy");
        if (!mirror_.make(root, problem)) return stop(2, "--verify: " + problem);
        for (Unit& unit : units_) {
            unit.directory = mirror_.moved(unit.directory);
            for (std::string& word : unit.command) word = mirror_.moved(word);
            for (std::string& word : unit.fixedCommand) word = mirror_.moved(word);
        }
        return true;
    }

    bool preprocessBefore() {
        forEachUnit(units_.size(), settings_.jobs, settings_.showProgress, [&](std::size_t i) {
            Unit& unit = units_[i];
            if (!unit.problem.empty()) return;
            unit.failsBefore = !output_.hash(unit, unit.command, i, ".before", unit.before, unit.failure);
            // Line moves are told apart only where they may be accepted; else later, if need be.
            std::string failure;  // only the run with __LINE__ as it expands tells why a unit fails
            if (!unit.failsBefore && settings_.allowLineShift)
                unit.beforeFixedKnown = output_.hash(unit, unit.fixedCommand, i, ".fixed", unit.beforeFixed, failure);
        });
        if (const int signal = interruption())
            return stop(128 + signal, "interrupted before the rewrite; nothing was changed");
        return true;
    }

    // Units that can't be checked are named; a check of nothing proves nothing.
    bool countVerifiable() {
        for (const Unit& unit : units_) {
            if (!unit.problem.empty())
                std::cerr << "vimbo: " << unit.file << ": not verified: " << unit.problem << "\n";
            else if (unit.failsBefore)
                std::cerr << "vimbo: " << unit.file << ": not verified: it fails to preprocess before the rewrite ("
                          << unit.failure << ")\n";
            else
                ++verifiable_;
        }
        unverified_ = units_.size() - verifiable_;
        if (verifiable_ > 0) return true;
        return stop(dry_ ? 2 : 1, "verification failed: none of the " + std::to_string(units_.size()) +
                                      " translation units could be verified; nothing was " +
                                      (dry_ ? "checked" : "rewritten"));
    }

    bool rewrite() {
        if (const int signal = interruption())
            return stop(128 + signal, "interrupted before the rewrite; nothing was changed");
        if (!dry_ && !originals_.keep(settings_.files))
            return stop(2, "--verify: can't keep the original files; nothing was rewritten");
        rewriteStatus_ = rewrite_(dry_ ? &texts_ : nullptr);
        // A rewrite cut short is not verified: what it did is undone.
        if (rewriteStatus_ >= 128) return undo(rewriteStatus_);
        for (const auto& [path, text] : texts_)
            if (!mirror_.write(path, text)) return stop(2, "--verify: can't write the copy of " + path);
        return true;
    }

    bool preprocessAfter() {
        forEachUnit(units_.size(), settings_.jobs, settings_.showProgress, [&](std::size_t i) {
            Unit& unit = units_[i];
            if (!unit.verifiable()) return;
            std::uint64_t after = 0;
            unit.failsAfter = !output_.hash(unit, unit.command, i, ".after", after, unit.failure, true);
            unit.differs = unit.failsAfter || after != unit.before;
            std::error_code ignored;
            if (!unit.differs) fs::remove(output_(i, ".after"), ignored);  // only what a report needs is kept
            else if (!unit.failsAfter) {
                std::string failure;
                unit.afterFixedKnown = output_.hash(unit, unit.fixedCommand, i, ".fixed", unit.afterFixed, failure);
            }
        });
        if (const int signal = interruption()) return undo(128 + signal);
        return true;
    }

    // Whether the rewrite stands: every unit the same (line moves only where
    // allowed), and every unit checked (unless allowed otherwise).
    bool holds() const {
        const std::size_t moved = count([](const Unit& u) { return u.linesMoved(); });
        const std::size_t differing = count([](const Unit& u) { return u.differs; }) - moved;
        return differing == 0 && (moved == 0 || settings_.allowLineShift) &&
               (unverified_ == 0 || settings_.allowUnverified);
    }

    int reportUnchanged(std::ostream& report, const std::string& took) const {
        const std::size_t moved = count([](const Unit& u) { return u.linesMoved(); });
        report << "vimbo: verified " << verifiable_ << " of " << units_.size() << " translation units: unchanged";
        if (moved) report << "; line numbers move in " << moved << " (--allow-line-shift)";
        if (unverified_) report << "; " << unverified_ << " could not be verified (named above; --allow-unverified)";
        report << " (" << took << ")\n";
        return rewriteStatus_;
    }

    // The originals go back first; then each differing unit is preprocessed
    // again, as it was, to show where it parts and whether only its line
    // numbers moved.
    int putBackAndReport(const std::string& took) {
        const bool restored = putBack();
        std::vector<std::string> movedUnits;
        for (std::size_t i = 0; i < units_.size(); ++i) {
            Unit& unit = units_[i];
            if (!unit.differs) continue;
            if (unit.failsAfter) {
                std::cerr << "vimbo: " << unit.file << ": fails to preprocess after the rewrite (" << unit.failure << ")\n";
                continue;
            }
            if (restored && !unit.beforeFixedKnown) {
                std::string failure;
                unit.beforeFixedKnown = output_.hash(unit, unit.fixedCommand, i, ".fixed", unit.beforeFixed, failure);
            }
            if (unit.linesMoved()) {
                movedUnits.push_back(unit.file);
                continue;
            }
            std::cerr << "vimbo: " << unit.file << ": differs after the rewrite\n";
            std::uint64_t ignored;
            std::string failure;
            if (restored && output_.hash(unit, unit.command, i, ".before", ignored, failure, true)) {
                const auto [was, is] = firstDifference(output_(i, ".before"), output_(i, ".after"));
                std::cerr << "  before: " << was << "\n  after:  " << is << "\n";
            }
        }
        const char* move = dry_ ? "would move" : "move";
        if (!movedUnits.empty())
            std::cerr << "vimbo: line numbers " << move << " in " << movedUnits.size() << " units: " << someOf(movedUnits)
                      << " (__LINE__ expands to other numbers; --keep-lines keeps them, --allow-line-shift accepts that)\n";
        const std::size_t differing = count([](const Unit& u) { return u.differs; }) - movedUnits.size();
        std::vector<std::string> parts;
        if (differing)
            parts.push_back(std::to_string(differing) + " of " + std::to_string(verifiable_) + " translation units " +
                            (dry_ ? "would differ" : "differ"));
        if (!movedUnits.empty() && !settings_.allowLineShift)
            parts.push_back("line numbers " + std::string(move) + " in " + std::to_string(movedUnits.size()));
        if (unverified_ && !settings_.allowUnverified)
            parts.push_back(std::to_string(unverified_) + " of " + std::to_string(units_.size()) +
                            " translation units could not be verified (named above; --allow-unverified accepts that)");
        std::cerr << "vimbo: verification failed: " << joined(parts, ", ");
        if (!dry_)
            std::cerr << "; " << (restored ? "every rewritten file is put back as it was" : "not every file could be put back");
        std::cerr << " (" << took << ")\n";
        return dry_ ? 2 : 1;
    }

private:
    // The signal the run ends with: its own, else one that stopped a
    // preprocessor alone.
    static int interruption() {
        const int own = Interruption::signal();
        return own ? own : preprocessingInterrupted();
    }

    bool stop(int status, const std::string& message) {
        std::cerr << "vimbo: " << message << "\n";
        status_ = status;
        return false;
    }

    bool putBack() {
        if (!dry_) {
            if (settings_.onPutBack) settings_.onPutBack();
            return originals_.restore();
        }
        bool whole = true;
        for (const auto& text : texts_) whole = mirror_.reset(text.first) && whole;
        return whole;
    }

    bool undo(int status) {
        std::cerr << "vimbo: interrupted; "
                  << (dry_ || putBack() ? "every rewritten file is put back as it was\n"
                                        : "not every file could be put back\n");
        status_ = status;
        return false;
    }

    template <typename Which>
    std::size_t count(Which which) const {
        return static_cast<std::size_t>(std::count_if(units_.begin(), units_.end(), which));
    }

    const VerifySettings& settings_;
    const RewriteStep& rewrite_;
    const bool dry_;
    const Outputs output_;
    std::vector<Unit> units_;
    Mirror mirror_;
    Originals originals_;
    DryRunTexts texts_;
    std::size_t verifiable_ = 0, unverified_ = 0;
    int rewriteStatus_ = 0, status_ = 0;
};

}  // namespace

int runVerified(const VerifySettings& settings, const RewriteStep& rewrite) {
    resetPreprocessingInterrupted();
    Interruption interruption;  // a signal between two commands ends the run the same way
    const auto started = std::chrono::steady_clock::now();
    std::error_code error;
    const std::string place =
        vimbo::platform::makePrivateDirectory(fs::temp_directory_path(error).string(), "vimbo-units-");
    if (place.empty()) {
        std::cerr << "vimbo: --verify: can't make a temporary directory\n";
        return 2;
    }
    Verification run(settings, rewrite, fs::path(place));
    if (!run.mirrorTheTree() || !run.preprocessBefore() || !run.countVerifiable() || !run.rewrite() ||
        !run.preprocessAfter())
        return run.status();
    const std::string took = secondsSince(started);
    if (run.holds()) return run.reportUnchanged(settings.dryRun || settings.summaryToStandardError ? std::cerr : std::cout, took);
    return run.putBackAndReport(took);
}

}  // namespace vimbo::cli
