#include "verified_run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "interruption.h"
#include "kept_files.h"
#include "preprocess_command.h"
#include "preprocessed_unit.h"

namespace fs = std::filesystem;

namespace vimbo::cli {

int runVerified(const VerifySettings& settings, const RewriteStep& rewrite) {
    resetPreprocessingInterrupted();
    Interruption interruption;  // a signal between two commands ends the run the same way
    const auto started = std::chrono::steady_clock::now();
    std::ostream& report = settings.dryRun ? std::cerr : std::cout;
    const fs::path scratch = makeTemporaryDirectory(fs::temp_directory_path(), "vimbo-units-");
    if (scratch.empty()) {
        std::cerr << "vimbo: --verify: can't make a temporary directory\n";
        return 2;
    }
    struct RemoveScratch {
        fs::path path;
        ~RemoveScratch() {
            std::error_code error;
            fs::remove_all(path, error);
        }
    } removeScratch{scratch};

    std::vector<Unit> units;
    for (const CompileEntry& entry : settings.database->entries()) {
        Unit unit{entry.file, entry.directory, {}, "", false, 0, false, ""};
        std::vector<std::string> words;
        if (expandResponseFiles(entry.arguments, entry.directory, words, unit.problem))
            preprocessCommand(words, unit.command, unit.problem);
        units.push_back(std::move(unit));
    }

    // A dry run checks a copy of the tree that holds the units and the files.
    Mirror mirror;
    if (settings.dryRun) {
        fs::path root;
        const auto widen = [&](const std::string& path) {
            const fs::path directory = absoluteNormal(path).parent_path();
            root = root.empty() ? directory : commonPart(root, directory);
        };
        for (const Unit& unit : units) widen(unit.directory + "/."), widen(unit.file);
        for (const std::string& file : settings.files) widen(file);
        std::string error;
        if (root.empty() || root == root.root_path()) {
            std::cerr << "vimbo: --verify: the units and files have no common directory to copy\n";
            return 2;
        }
        if (!mirror.make(root, error)) {
            std::cerr << "vimbo: --verify: " << error << "\n";
            return 2;
        }
        for (Unit& unit : units) {
            unit.directory = mirror.moved(unit.directory);
            for (std::string& word : unit.command) word = mirror.moved(word);
        }
    }

    const auto output = [&](std::size_t i, const char* pass) { return scratch / (std::to_string(i) + pass); };
    forEachUnit(units.size(), settings.jobs, settings.showProgress, [&](std::size_t i) {
        Unit& unit = units[i];
        if (!unit.problem.empty()) return;
        unit.failsBefore = !preprocess(unit, output(i, ".before"), output(i, ".errors"));
        if (unit.failsBefore) unit.failure = firstLineOf(output(i, ".errors"));
        else unit.before = hashOf(output(i, ".before"));
        std::error_code error;
        fs::remove(output(i, ".before"), error);
    });
    if (preprocessingInterrupted() || Interruption::signal()) {
        std::cerr << "vimbo: interrupted before the rewrite; nothing was changed\n";
        return 130;
    }
    std::size_t counted = 0;
    for (const Unit& unit : units) {
        if (!unit.problem.empty())
            std::cerr << "vimbo: " << unit.file << ": not verified: " << unit.problem << "\n";
        else if (unit.failsBefore)
            std::cerr << "vimbo: " << unit.file << ": not verified: it fails to preprocess before the rewrite ("
                      << unit.failure << ")\n";
        else
            ++counted;
    }

    Originals originals;
    if (!settings.dryRun && !originals.keep(settings.files)) {
        std::cerr << "vimbo: --verify: can't keep the original files; nothing was rewritten\n";
        return 2;
    }
    DryRunTexts texts;
    const int status = rewrite(settings.dryRun ? &texts : nullptr);
    // A rewrite cut short is not verified: what it did is undone.
    const auto undo = [&](int exitStatus) {
        std::cerr << "vimbo: interrupted; "
                  << (settings.dryRun || originals.restore() ? "every rewritten file is put back as it was\n"
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
        if (!unit.problem.empty() || unit.failsBefore) return;
        const bool fails = !preprocess(unit, output(i, ".after"), output(i, ".errors"));
        unit.differs = fails || hashOf(output(i, ".after")) != unit.before;
        if (fails) unit.failure = firstLineOf(output(i, ".errors"));
        std::error_code error;
        if (!unit.differs) fs::remove(output(i, ".after"), error);  // only what a report needs is kept
    });
    if (preprocessingInterrupted() || Interruption::signal()) return undo(130);
    const std::size_t differing =
        static_cast<std::size_t>(std::count_if(units.begin(), units.end(), [](const Unit& u) { return u.differs; }));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    char took[64];
    std::snprintf(took, sizeof took, "%.1f s", seconds);
    if (differing == 0) {
        report << "vimbo: verified " << counted << " translation units: unchanged (" << took << ")\n";
        return status;
    }

    // The originals go back first; then each differing unit is preprocessed
    // again, as it was, to show where it parts.
    bool restored = true;
    if (settings.dryRun)
        for (const auto& text : texts) restored = mirror.reset(text.first) && restored;
    else
        restored = originals.restore();
    for (std::size_t i = 0; i < units.size(); ++i) {
        const Unit& unit = units[i];
        if (!unit.differs) continue;
        if (!unit.failure.empty()) {
            std::cerr << "vimbo: " << unit.file << ": fails to preprocess after the rewrite (" << unit.failure << ")\n";
            continue;
        }
        std::cerr << "vimbo: " << unit.file << ": differs after the rewrite\n";
        if (restored && preprocess(unit, output(i, ".before"), output(i, ".errors"))) {
            const auto [was, is] = firstDifference(output(i, ".before"), output(i, ".after"));
            std::cerr << "  before: " << was << "\n  after:  " << is << "\n";
        }
    }
    if (settings.dryRun) {
        std::cerr << "vimbo: verification failed: " << differing << " of " << counted
                  << " translation units would differ (" << took << ")\n";
        return 2;
    }
    std::cerr << "vimbo: verification failed: " << differing << " of " << counted << " translation units differ; "
              << (restored ? "every rewritten file is put back as it was" : "not every file could be put back")
              << " (" << took << ")\n";
    return 1;
}

}  // namespace vimbo::cli