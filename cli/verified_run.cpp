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
        Unit run = unit;
        run.command = command;
        const fs::path output = (*this)(index, pass);
        const bool ok = preprocess(run, output, failure);
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

}  // namespace

int runVerified(const VerifySettings& settings, const RewriteStep& rewrite) {
    resetPreprocessingInterrupted();
    Interruption interruption;  // a signal between two commands ends the run the same way
    const auto started = std::chrono::steady_clock::now();
    const bool dry = settings.dryRun;
    std::ostream& report = dry ? std::cerr : std::cout;
    std::error_code error;
    const std::string place = vimbo::platform::makePrivateDirectory(fs::temp_directory_path(error).string(), "vimbo-units-");
    if (place.empty()) {
        std::cerr << "vimbo: --verify: can't make a temporary directory\n";
        return 2;
    }
    const Outputs output{fs::path(place)};
    std::vector<Unit> units = unitsOf(*settings.database);

    // A dry run checks a copy of the tree that holds the units and the files.
    Mirror mirror;
    if (dry) {
        fs::path root;
        const auto widen = [&](const std::string& path) {
            const fs::path directory = absoluteNormal(path).parent_path();
            root = root.empty() ? directory : commonPart(root, directory);
        };
        for (const Unit& unit : units) widen(unit.directory + "/."), widen(unit.file);
        for (const std::string& file : settings.files) widen(file);
        std::string problem;
        if (root.empty() || root == root.root_path()) {
            std::cerr << "vimbo: --verify: the units and files have no common directory to copy\n";
            return 2;
        }
        if (!mirror.make(root, problem)) {
            std::cerr << "vimbo: --verify: " << problem << "\n";
            return 2;
        }
        for (Unit& unit : units) {
            unit.directory = mirror.moved(unit.directory);
            for (std::string& word : unit.command) word = mirror.moved(word);
            for (std::string& word : unit.fixedCommand) word = mirror.moved(word);
        }
    }

    forEachUnit(units.size(), settings.jobs, settings.showProgress, [&](std::size_t i) {
        Unit& unit = units[i];
        if (!unit.problem.empty()) return;
        unit.failsBefore = !output.hash(unit, unit.command, i, ".before", unit.before, unit.failure);
        // Line moves are told apart only where they may be accepted; else later, if need be.
        if (!unit.failsBefore && settings.allowLineShift)
            unit.beforeFixedKnown = output.hash(unit, unit.fixedCommand, i, ".fixed", unit.beforeFixed, unit.failure);
    });
    if (preprocessingInterrupted() || Interruption::signal()) {
        std::cerr << "vimbo: interrupted before the rewrite; nothing was changed\n";
        return 130;
    }
    std::size_t verifiable = 0;
    for (const Unit& unit : units) {
        if (!unit.problem.empty())
            std::cerr << "vimbo: " << unit.file << ": not verified: " << unit.problem << "\n";
        else if (unit.failsBefore)
            std::cerr << "vimbo: " << unit.file << ": not verified: it fails to preprocess before the rewrite ("
                      << unit.failure << ")\n";
        else
            ++verifiable;
    }
    const std::size_t unverified = units.size() - verifiable;
    // A check of nothing proves nothing.
    if (verifiable == 0) {
        std::cerr << "vimbo: verification failed: none of the " << units.size()
                  << " translation units could be verified; nothing was " << (dry ? "checked" : "rewritten") << "\n";
        return dry ? 2 : 1;
    }

    Originals originals;
    if (!dry && !originals.keep(settings.files)) {
        std::cerr << "vimbo: --verify: can't keep the original files; nothing was rewritten\n";
        return 2;
    }
    DryRunTexts texts;
    const int status = rewrite(dry ? &texts : nullptr);
    const auto putBack = [&] {
        if (!dry) return originals.restore();
        bool whole = true;
        for (const auto& text : texts) whole = mirror.reset(text.first) && whole;
        return whole;
    };
    // A rewrite cut short is not verified: what it did is undone.
    const auto undo = [&](int exitStatus) {
        std::cerr << "vimbo: interrupted; "
                  << (dry || putBack() ? "every rewritten file is put back as it was\n"
                                       : "not every file could be put back\n");
        return exitStatus;
    };
    if (status >= 128) return undo(status);
    for (const auto& [path, text] : texts)
        if (!mirror.write(path, text)) {
            std::cerr << "vimbo: --verify: can't write the copy of " << path << "\n";
            return 2;
        }

    forEachUnit(units.size(), settings.jobs, settings.showProgress, [&](std::size_t i) {
        Unit& unit = units[i];
        if (!unit.verifiable()) return;
        std::uint64_t after = 0;
        unit.failsAfter = !output.hash(unit, unit.command, i, ".after", after, unit.failure, true);
        unit.differs = unit.failsAfter || after != unit.before;
        std::error_code ignored;
        if (!unit.differs) fs::remove(output(i, ".after"), ignored);  // only what a report needs is kept
        else if (!unit.failsAfter)
            unit.afterFixedKnown = output.hash(unit, unit.fixedCommand, i, ".fixed", unit.afterFixed, unit.failure);
    });
    if (preprocessingInterrupted() || Interruption::signal()) return undo(130);

    const auto count = [&](auto which) {
        return static_cast<std::size_t>(std::count_if(units.begin(), units.end(), which));
    };
    const std::size_t moved = count([](const Unit& u) { return u.linesMoved(); });
    const std::size_t differing = count([](const Unit& u) { return u.differs; }) - moved;
    const bool holds =
        differing == 0 && (moved == 0 || settings.allowLineShift) && (unverified == 0 || settings.allowUnverified);
    if (holds) {
        report << "vimbo: verified " << verifiable << " of " << units.size() << " translation units: unchanged";
        if (moved) report << "; line numbers move in " << moved << " (--allow-line-shift)";
        if (unverified) report << "; " << unverified << " could not be verified (named above; --allow-unverified)";
        report << " (" << secondsSince(started) << ")\n";
        return status;
    }

    // The originals go back first; then each differing unit is preprocessed
    // again, as it was, to show where it parts and whether only its line
    // numbers moved.
    const bool restored = putBack();
    std::vector<std::string> movedUnits;
    for (std::size_t i = 0; i < units.size(); ++i) {
        Unit& unit = units[i];
        if (!unit.differs) continue;
        if (unit.failsAfter) {
            std::cerr << "vimbo: " << unit.file << ": fails to preprocess after the rewrite (" << unit.failure << ")\n";
            continue;
        }
        if (!restored) {
            std::cerr << "vimbo: " << unit.file << ": differs after the rewrite\n";
            continue;
        }
        std::string failure;
        if (!unit.beforeFixedKnown)
            unit.beforeFixedKnown = output.hash(unit, unit.fixedCommand, i, ".fixed", unit.beforeFixed, failure);
        std::uint64_t ignored;
        const bool shown = output.hash(unit, unit.command, i, ".before", ignored, failure, true);
        if (unit.linesMoved()) movedUnits.push_back(unit.file);
        else std::cerr << "vimbo: " << unit.file << ": differs after the rewrite\n";
        if (shown && !unit.linesMoved()) {
            const auto [was, is] = firstDifference(output(i, ".before"), output(i, ".after"));
            std::cerr << "  before: " << was << "\n  after:  " << is << "\n";
        }
    }
    const std::size_t movedNow = movedUnits.size(), differNow = count([](const Unit& u) { return u.differs; }) - movedNow;
    if (movedNow)
        std::cerr << "vimbo: line numbers " << (dry ? "would move" : "move") << " in " << movedNow
                  << " units: " << someOf(movedUnits)
                  << " (__LINE__ expands to other numbers; --keep-lines keeps them, --allow-line-shift accepts that)\n";
    std::vector<std::string> parts;
    if (differNow)
        parts.push_back(std::to_string(differNow) + " of " + std::to_string(verifiable) + " translation units " +
                        (dry ? "would differ" : "differ"));
    if (movedNow && !settings.allowLineShift)
        parts.push_back("line numbers " + std::string(dry ? "would move" : "move") + " in " + std::to_string(movedNow));
    if (unverified && !settings.allowUnverified)
        parts.push_back(std::to_string(unverified) + " of " + std::to_string(units.size()) +
                        " translation units could not be verified (named above; --allow-unverified accepts that)");
    if (dry) {
        std::cerr << "vimbo: verification failed: " << joined(parts, ", ") << " (" << secondsSince(started) << ")\n";
        return 2;
    }
    std::cerr << "vimbo: verification failed: " << joined(parts, ", ") << "; "
              << (restored ? "every rewritten file is put back as it was" : "not every file could be put back")
              << " (" << secondsSince(started) << ")\n";
    return 1;
}

}  // namespace vimbo::cli
