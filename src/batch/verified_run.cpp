#include "batch/verified_run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "vimbo/engine/interruption.h"
#include "vimbo/engine/thrown.h"
#include "batch/told.h"
#include "project/compiler_search.h"
#include "batch/kept_files.h"
#include "vimbo/engine/child_process.h"
#include "project/preprocess_command.h"
#include "batch/preprocessed_unit.h"
#include "batch/unit_reads.h"

namespace fs = std::filesystem;
using vimbo::platform::Interruption;

namespace vimbo::batch {

using namespace vimbo::project;
namespace {

// cl skips everything of a unit up to the include of the header it
// precompiles; preprocessing alone (/EP) reads it all, so it can't tell
// whether that include still stands first.
std::string precompiledHeaderUse(const std::vector<std::string>& words) {
    // An overlay maps names to files a copy of the tree does not have.
    for (const std::string& word : words)
        if (word != "-I-" && searchesAnotherWay(word))
            return "the build maps files through an overlay (" + word + "), which a copy of the tree does not follow";
    if (!followsClRules(words)) return "";
    for (const std::string& word : words)
        for (const char* option : {"/Yu", "-Yu", "/Yc", "-Yc"})
            if (word.rfind(option, 0) == 0)
                return "the build compiles it with a precompiled header (" + word +
                       "), which preprocessing alone does not follow";
    return "";
}

std::vector<Unit> unitsOf(const CompileDatabase& database, const CompilerTrust& trust) {
    std::vector<Unit> units;
    for (const CompileEntry& entry : database.entries()) {
        Unit unit;
        unit.file = entry.file;
        unit.directory = entry.directory;
        std::vector<std::string> words;
        if (expandResponseFiles(entry.arguments, entry.directory, words, unit.problem) &&
            preprocessCommand(words, unit.command, unit.problem)) {
            preprocessCommand(words, unit.fixedCommand, unit.problem, true);
            unit.problem = untrustedCommand(unit.command, unit.directory, trust);
            if (unit.problem.empty()) unit.problem = precompiledHeaderUse(words);
        }
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
              std::uint64_t& hash, std::string& failure, bool keep = false, std::string* errors = nullptr) const {
        const fs::path output = (*this)(index, pass);
        const bool ok = preprocess(command, unit.directory, output, failure, errors);
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
          units_(unitsOf(*settings.database, settings.trust)), originals_(*settings.observer) {}

    int status() const { return status_; }
    // False (told) when the kept originals stay in the tree.
    bool release() { return dry_ || originals_.release(); }

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
        std::vector<std::string> seen;  // the run's files where the compiler sees them
        for (const std::string& file : settings_.files) seen.push_back(seenByCompiler(file));
        runFiles_ = RunFiles(seen);
        forEachUnit(units_.size(), settings_.jobs, settings_.showProgress ? settings_.observer : nullptr, [&](std::size_t i) {
            Unit& unit = units_[i];
            if (!unit.problem.empty()) return;
            // A unit whose check throws (out of memory) is one not verified.
            try {
                preprocessAndList(unit, i);
                // Line moves are told apart only where they may be accepted; else later, if need be.
                std::string failure;  // only the run with __LINE__ as it expands tells why a unit fails
                if (!unit.failsBefore && settings_.allowLineShift)
                    unit.beforeFixedKnown =
                        output_.hash(unit, unit.fixedCommand, i, ".fixed", unit.beforeFixed, failure);
            } catch (...) {
                unit.problem = vimbo::engine::thrownText(std::current_exception());
            }
        });
        if (const int signal = interruption())
            return stop(128 + signal, "interrupted before the rewrite; nothing was changed");
        return true;
    }

    // Units that can't be checked are named; a check of nothing proves nothing.
    bool countVerifiable() {
        for (const Unit& unit : units_) {
            if (!unit.problem.empty())
                Told(observer()) << "vimbo: " << unit.file << ": not verified: " << unit.problem << "\n";
            else if (unit.failsBefore)
                Told(observer()) << "vimbo: " << unit.file << ": not verified: it fails to preprocess before the rewrite ("
                          << unit.failure << ")\n";
            else if (!unit.readsKnown)
                Told(observer()) << "vimbo: " << unit.file
                          << ": not verified: can't tell which files it reads (the compiler's list of them can't be "
                             "read)\n";
            if (unit.comparable()) ++compared_;
            if (unit.verifiable()) ++verifiable_;
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
        if (!dry_ && !originals_.keep(settings_.files, settings_.backups))
            return stop(2, "--verify: can't keep the original files; nothing was rewritten");
        if (settings_.linkedAside) *settings_.linkedAside = dry_ ? mirror_.linked() : originals_.linked();
        rewriteStatus_ = rewrite_(dry_ ? &texts_ : nullptr);
        // A rewrite cut short is not verified: what it did is undone.
        if (rewriteStatus_ >= 128) return undo(rewriteStatus_);
        for (const auto& [path, text] : texts_)
            if (!mirror_.write(path, text)) return stop(2, "--verify: can't write the copy of " + path);
        return true;
    }

    // A unit that reads none of the rewritten files proves nothing of them;
    // with no file rewritten there is nothing to prove.
    bool findReaders() {
        std::vector<std::string> rewritten;
        if (dry_)
            for (const auto& text : texts_) rewritten.push_back(seenByCompiler(text.first));
        else
            rewritten = originals_.replaced();
        if (rewritten.empty()) {
            record(true, false, 0, 0);
            Told(observer(), reportAs()) << "vimbo: nothing " << (dry_ ? "would be" : "was") << " rewritten; nothing to verify\n";
            status_ = rewriteStatus_;
            return false;
        }
        std::vector<bool> isRewritten(runFiles_.size());
        for (std::uint32_t i : runFiles_.among(rewritten, fs::current_path())) isRewritten[i] = true;
        for (const Unit& unit : units_)
            if (unit.verifiable() &&
                std::any_of(unit.reads.begin(), unit.reads.end(), [&](std::uint32_t i) { return isRewritten[i]; }))
                ++readers_;
        if (readers_ > 0) return true;
        std::vector<std::string> parts = {dry_ ? "no unit of the database reads the files that would be rewritten"
                                               : "no unit of the database reads the rewritten files"};
        if (unverified_) parts.push_back(unverifiedPart());
        const bool restored = putBack();
        record(false, restored, 0, 0);
        status_ = failed(parts, restored);
        return false;
    }

    bool preprocessAfter() {
        forEachUnit(units_.size(), settings_.jobs, settings_.showProgress ? settings_.observer : nullptr, [&](std::size_t i) {
            Unit& unit = units_[i];
            // Units whose list is unknown are compared too: one that differs is named.
            if (!unit.comparable()) return;
            std::uint64_t after = 0;
            // A unit whose check throws counts as one that fails after the rewrite.
            try {
                unit.failsAfter = !output_.hash(unit, unit.command, i, ".after", after, unit.failure, true);
            } catch (...) {
                unit.failsAfter = true;
                unit.failure = vimbo::engine::thrownText(std::current_exception());
            }
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

    // Only the units that read a rewritten file count as verified.
    int reportUnchanged() const {
        const std::size_t moved = count([](const Unit& u) { return u.linesMoved(); });
        record(true, false, 0, moved);
        Told out(observer(), reportAs());
        out << "vimbo: verified " << readers_ << " of " << units_.size() << " translation units: unchanged";
        if (moved) out << "; line numbers move in " << moved << " (--allow-line-shift)";
        if (unverified_) out << "; " << unverified_ << " could not be verified (named above; --allow-unverified)";
        if (verifiable_ > readers_)
            out << "; " << verifiable_ - readers_ << " read none of the "
                << (dry_ ? "files that would be rewritten" : "rewritten files");
        out << " (" << secondsSince(started_) << ")\n";
        return rewriteStatus_;
    }

    // The originals go back first; then each differing unit is preprocessed
    // again, as it was, to show where it parts and whether only its line
    // numbers moved.
    int putBackAndReport() {
        const bool restored = putBack();
        std::vector<std::string> movedUnits;
        for (std::size_t i = 0; i < units_.size(); ++i) {
            Unit& unit = units_[i];
            if (!unit.differs) continue;
            if (unit.failsAfter) {
                Told(observer()) << "vimbo: " << unit.file << ": fails to preprocess after the rewrite (" << unit.failure << ")\n";
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
            Told(observer()) << "vimbo: " << unit.file << ": differs after the rewrite\n";
            std::uint64_t ignored;
            std::string failure;
            if (restored && output_.hash(unit, unit.command, i, ".before", ignored, failure, true)) {
                const auto [was, is] = firstDifference(output_(i, ".before"), output_(i, ".after"));
                Told(observer()) << "  before: " << was << "\n  after:  " << is << "\n";
            }
        }
        const char* move = dry_ ? "would move" : "move";
        if (!movedUnits.empty())
            Told(observer()) << "vimbo: line numbers " << move << " in " << movedUnits.size() << " units: " << someOf(movedUnits)
                      << " (__LINE__ expands to other numbers; --keep-lines keeps them, --allow-line-shift accepts that)\n";
        const std::size_t differing = count([](const Unit& u) { return u.differs; }) - movedUnits.size();
        std::vector<std::string> parts;
        if (differing)
            parts.push_back(std::to_string(differing) + " of " + std::to_string(compared_) + " translation units " +
                            (dry_ ? "would differ" : "differ"));
        if (!movedUnits.empty() && !settings_.allowLineShift)
            parts.push_back("line numbers " + std::string(move) + " in " + std::to_string(movedUnits.size()));
        if (unverified_ && !settings_.allowUnverified) parts.push_back(unverifiedPart());
        record(false, restored, differing, movedUnits.size());
        return failed(parts, restored);
    }

private:
    // The signal the run ends with: its own, else one that stopped a
    // preprocessor alone.
    static int interruption() {
        const int own = Interruption::signal();
        return own ? own : preprocessingInterrupted();
    }

    // The verdict when all is well: on standard output for a rewrite, where
    // its summary goes.
    // The verdict as data, for the reports tools read.
    void record(bool holds, bool restored, std::size_t differing, std::size_t moved) const {
        if (!settings_.verdict) return;
        Verdict& verdict = *settings_.verdict;
        verdict.made = true;
        verdict.holds = holds;
        verdict.restored = !dry_ && restored;
        verdict.units = units_.size();
        verdict.verified = holds ? readers_ : 0;
        verdict.differing = differing;
        verdict.linesMoved = moved;
        verdict.unverified = unverified_;
    }

    Told::As reportAs() const {
        return dry_ || settings_.summaryToStandardError ? Told::As::summary : Told::As::summaryOnOutput;
    }
    vimbo::engine::BatchObserver& observer() const { return *settings_.observer; }

    // A file of the run, or of a dry run's changes, where a unit's compiler reads it.
    std::string seenByCompiler(const std::string& file) const {
        return dry_ ? mirror_.moved(absoluteNormal(file).string()) : file;
    }

    // The text before the rewrite, and which of the run's files the unit
    // reads, as its compiler tells while it makes that text.
    void preprocessAndList(Unit& unit, std::size_t i) {
        std::vector<std::string> command = unit.command;
        const fs::path rule = output_(i, ".d");
        const DependencyOutput list = addDependencyOutput(command, rule.string());
        std::string errors;
        unit.failsBefore = !output_.hash(unit, command, i, ".before", unit.before, unit.failure,
                                         false, list == DependencyOutput::includeNotes ? &errors : nullptr);
        std::vector<std::string> files;
        if (list == DependencyOutput::makeRule) {
            std::ifstream in(rule, std::ios::binary);
            std::ostringstream text;
            unit.readsKnown = in && (text << in.rdbuf()) && makeRulePrerequisites(text.str(), files);
            in.close();
            std::error_code ignored;
            fs::remove(rule, ignored);
        } else {
            // The notes name the headers; the source is read too.
            files = noteIncludes(errors);
            files.push_back(fs::path(unit.file).is_relative() ? unit.file : seenByCompiler(unit.file));
            unit.readsKnown = true;
        }
        if (unit.failsBefore) unit.readsKnown = false;
        if (unit.readsKnown) unit.reads = runFiles_.among(files, unit.directory);
    }

    std::string unverifiedPart() const {
        return std::to_string(unverified_) + " of " + std::to_string(units_.size()) +
               " translation units could not be verified (named above; --allow-unverified accepts that)";
    }

    // The line that says the rewrite does not stand, and the exit status.
    int failed(const std::vector<std::string>& parts, bool restored) const {
        Told out(observer());
        out << "vimbo: verification failed: " << joined(parts, ", ");
        if (!dry_) out << "; " << (restored ? "every rewritten file is put back as it was" : "not every file could be put back");
        out << " (" << secondsSince(started_) << ")\n";
        return dry_ ? 2 : 1;
    }

    bool stop(int status, const std::string& message) {
        Told(observer()) << "vimbo: " << message << "\n";
        status_ = status;
        return false;
    }

    bool putBack() {
        if (!dry_) {
            if (settings_.onPutBack) settings_.onPutBack();
            return originals_.restore(settings_.written ? *settings_.written
                                                        : std::map<std::string, vimbo::engine::FileVersion>{});
        }
        bool whole = true;
        for (const auto& text : texts_) whole = mirror_.reset(text.first) && whole;
        return whole;
    }

    bool undo(int status) {
        // A dry run rewrote nothing but its copy of the tree.
        Told(observer()) << "vimbo: interrupted; "
                         << (dry_        ? "nothing was changed\n"
                             : putBack() ? "every rewritten file is put back as it was\n"
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
    const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::vector<Unit> units_;
    RunFiles runFiles_;
    Mirror mirror_;
    Originals originals_;
    DryRunTexts texts_;
    // How many units are compared after the rewrite, can be verified (what
    // they read is known), can't, and read a rewritten file.
    std::size_t compared_ = 0, verifiable_ = 0, unverified_ = 0, readers_ = 0;
    int rewriteStatus_ = 0, status_ = 0;
};

}  // namespace

int runVerified(const VerifySettings& settings, const RewriteStep& rewrite) {
    resetPreprocessingInterrupted();
    Interruption interruption;  // a signal between two commands ends the run the same way
    std::error_code error;
    const std::string place =
        vimbo::platform::makePrivateDirectory(fs::temp_directory_path(error).string(), "vimbo-units-");
    if (place.empty()) {
        Told(*settings.observer) << "vimbo: --verify: can't make a temporary directory\n";
        return 2;
    }
    Verification run(settings, rewrite, fs::path(place));
    const bool compared = run.mirrorTheTree() && run.preprocessBefore() && run.countVerifiable() && run.rewrite() &&
                          run.findReaders() && run.preprocessAfter();
    const int status = !compared ? run.status() : run.holds() ? run.reportUnchanged() : run.putBackAndReport();
    // Kept originals that stay are extra links in the tree: the run failed.
    return run.release() || status != 0 ? status : 1;
}

}  // namespace vimbo::batch
