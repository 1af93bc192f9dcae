#include "verified_run.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <random>
#include <thread>

#include "interruption.h"
#include "preprocess_command.h"
#include "progress.h"
#include "shell_command.h"

namespace fs = std::filesystem;

namespace vimbo::cli {
namespace {

// One translation unit as the check runs it.
struct Unit {
    std::string file;                  // as the database names it, for messages
    std::string directory;
    std::vector<std::string> command;  // preprocess-only
    std::string problem;               // why it is not checked, or ""
    bool failsBefore = false;
    std::uint64_t before = 0;
    bool differs = false;
    std::string failure;  // the first line the preprocessor printed on failing
};

// The text the compiler would compile, line by line: blank lines and line
// markers do not count (a wrap moves lines by design).
class NormalLines {
public:
    explicit NormalLines(const fs::path& file) : in_(file, std::ios::binary) {}
    bool next(std::string& line) {
        while (std::getline(in_, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.find_first_not_of(" \t\f\v") == std::string::npos) continue;
            const std::size_t start = line.find_first_not_of(" \t");
            if (line.compare(start, 5, "#line") == 0 ||
                (line[start] == '#' && start + 2 < line.size() && line[start + 1] == ' ' &&
                 std::isdigit(static_cast<unsigned char>(line[start + 2]))))
                continue;
            return true;
        }
        return false;
    }

private:
    std::ifstream in_;
};

std::uint64_t hashOf(const fs::path& file) {
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
    NormalLines lines(file);
    std::string line;
    while (lines.next(line)) {
        for (unsigned char c : line) hash = (hash ^ c) * 1099511628211ull;
        hash = (hash ^ '\n') * 1099511628211ull;
    }
    return hash;
}

std::string firstLineOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    std::getline(in, line);
    return line;
}

// Where two outputs part: the first line of each that differs.
std::pair<std::string, std::string> firstDifference(const fs::path& a, const fs::path& b) {
    NormalLines left(a), right(b);
    std::string x, y;
    for (;;) {
        const bool moreLeft = left.next(x), moreRight = right.next(y);
        if (!moreLeft && !moreRight) return {"", ""};
        if (!moreLeft) x = "(end)";
        if (!moreRight) y = "(end)";
        if (!moreLeft || !moreRight || x != y) return {x, y};
    }
}

// Set when a preprocessor was stopped by a signal: Ctrl-C reaches the
// commands (vimbo ignores it while one runs), so it shows here.
std::atomic<bool> interrupted{false};

// Runs the unit's command in its directory, its output into `output`;
// false when the preprocessor fails.
bool preprocess(const Unit& unit, const fs::path& output, const fs::path& errors) {
    std::string command = "cd " + shellQuoted(unit.directory) + " &&";
    for (const std::string& word : unit.command) command += " " + shellQuoted(word);
    command += " > " + shellQuoted(output.string()) + " 2> " + shellQuoted(errors.string());
    const int status = runShellCommand(command);
    if (status < 0 || status == 130 || status == 143) interrupted = true;
    return status == 0;
}

// Calls `work(i)` for every unit, `jobs` at a time.
void forEachUnit(std::size_t count, unsigned jobs, bool showProgress, const std::function<void(std::size_t)>& work) {
    std::atomic<std::size_t> next{0}, done{0};
    Progress progress(showProgress ? count : 0, "translation units");
    std::mutex progressLock;
    const auto worker = [&] {
        for (std::size_t i; !interrupted && !Interruption::signal() && (i = next++) < count;) {
            work(i);
            std::lock_guard<std::mutex> hold(progressLock);
            progress.done(++done);
        }
    };
    if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> workers;
    for (unsigned j = 1; j < jobs && j < count; ++j) workers.emplace_back(worker);
    worker();
    for (std::thread& thread : workers) thread.join();
}

fs::path makeTemporaryDirectory(const fs::path& parent, const std::string& prefix) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = parent / (prefix + std::to_string(random()));
        std::error_code error;
        if (fs::create_directory(candidate, error)) return candidate;
    }
    return {};
}

// Copies a file with its bytes, permissions and time stamp, where a hard
// link (which keeps all of them, and the file itself) cannot be made.
bool keepFile(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::create_hard_link(from, to, error);
    if (!error) return true;
    if (!fs::copy_file(from, to, error) || error) return false;
    fs::permissions(to, fs::status(from).permissions(), error);
    fs::last_write_time(to, fs::last_write_time(from), error);
    return true;
}

fs::path commonPart(const fs::path& a, const fs::path& b) {
    fs::path common;
    for (auto i = a.begin(), j = b.begin(); i != a.end() && j != b.end() && *i == *j; ++i, ++j) common /= *i;
    return common;
}

fs::path absoluteNormal(const std::string& path) { return fs::absolute(path).lexically_normal(); }

// The originals of the files a real run may rewrite, kept until the
// verdict. A rewrite puts a new file in each place, so a hard link keeps
// the old one whole: putting it back restores bytes, times and permissions.
class Originals {
public:
    ~Originals() {
        std::error_code error;
        if (!store_.empty() && !keepStore_) fs::remove_all(store_, error);
    }
    bool keep(const std::vector<std::string>& files) {
        if (files.empty()) return true;
        fs::path common;
        for (const std::string& file : files) {
            const fs::path directory = absoluteNormal(file).parent_path();
            common = common.empty() ? directory : commonPart(common, directory);
        }
        // Beside the files, where hard links can be made; the walk never
        // enters a hidden directory.
        store_ = makeTemporaryDirectory(common, ".vimbo-verify-");
        if (store_.empty()) store_ = makeTemporaryDirectory(fs::temp_directory_path(), "vimbo-verify-");
        if (store_.empty()) return false;
        for (const std::string& file : files) {
            const fs::path kept = store_ / std::to_string(kept_.size());
            if (!keepFile(file, kept)) return false;
            kept_.push_back({file, kept});
        }
        return true;
    }
    // Puts back every file that is no longer the one kept; false (and the
    // kept files left where they are, named) when one cannot be.
    bool restore() {
        bool whole = true;
        for (const auto& [file, kept] : kept_) {
            std::error_code error;
            if (fs::equivalent(file, kept, error) && !error) continue;
            error.clear();
            fs::rename(kept, file, error);
            if (error) {
                error.clear();
                fs::copy_file(kept, file, fs::copy_options::overwrite_existing, error);
                if (!error) fs::permissions(file, fs::status(kept).permissions(), error);
                if (!error) fs::last_write_time(file, fs::last_write_time(kept), error);
            }
            if (error) {
                std::cerr << "vimbo: " << file << ": can't put the original back; it is " << kept.string() << "\n";
                whole = false;
                keepStore_ = true;
            }
        }
        return whole;
    }

private:
    fs::path store_;
    bool keepStore_ = false;
    std::vector<std::pair<std::string, fs::path>> kept_;
};

// A dry run's result reaches the preprocessor through a copy of the tree
// that holds every unit and every file the run would change: hard links
// where they can be made, the changed files written anew. Both passes run
// in the copy, so that paths the preprocessor prints (__FILE__) agree.
class Mirror {
public:
    ~Mirror() {
        std::error_code error;
        if (!place_.empty()) fs::remove_all(place_, error);
    }
    bool make(const fs::path& root, std::string& error) {
        root_ = root;
        place_ = makeTemporaryDirectory(fs::temp_directory_path(), "vimbo-verify-");
        if (place_.empty()) {
            error = "can't make a temporary directory";
            return false;
        }
        copy_ = place_ / "tree";
        std::error_code failure;
        fs::create_directories(copy_, failure);
        for (auto entry = fs::recursive_directory_iterator(root, failure);
             !failure && entry != fs::recursive_directory_iterator(); entry.increment(failure)) {
            const fs::path target = copy_ / entry->path().lexically_relative(root);
            std::error_code ignored;
            if (entry->is_symlink(ignored)) {
                fs::copy_symlink(entry->path(), target, ignored);
            } else if (entry->is_directory(ignored)) {
                fs::create_directories(target, failure);
            } else if (entry->is_regular_file(ignored) && !keepFile(entry->path(), target)) {
                error = "can't copy " + entry->path().string();
                return false;
            }
        }
        if (failure) error = "can't copy " + root.string() + ": " + failure.message();
        return !failure;
    }
    // A path or argument of the original tree, in the copy.
    std::string moved(const std::string& text) const {
        const std::string from = root_.string(), to = copy_.string();
        std::string result = text;
        for (std::size_t at = result.find(from); at != std::string::npos; at = result.find(from, at + to.size())) {
            const std::size_t end = at + from.size();
            if (end < result.size() && result[end] != '/') continue;
            result.replace(at, from.size(), to);
        }
        return result;
    }
    // The file as the tree holds it, again.
    bool reset(const std::string& path) {
        const fs::path original = absoluteNormal(path), target = moved(original.string());
        std::error_code error;
        fs::remove(target, error);
        return keepFile(original, target);
    }
    bool write(const std::string& path, const std::string& text) {
        const fs::path target = moved(absoluteNormal(path).string());
        std::error_code error;
        fs::remove(target, error);  // a hard link: the original stays as it is
        std::ofstream out(target, std::ios::binary);
        return out.write(text.data(), static_cast<std::streamsize>(text.size())) && out.flush();
    }

private:
    fs::path root_, place_, copy_;
};

}  // namespace

int runVerified(const VerifySettings& settings, const RewriteStep& rewrite) {
    interrupted = false;
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
    if (interrupted || Interruption::signal()) {
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
    if (interrupted || Interruption::signal()) return undo(130);
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
