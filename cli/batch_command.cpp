#include "batch_command.h"

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <set>

#include "changed_files.h"
#include "stream_observer.h"
#include "usage.h"
#include "vimbo/engine/batch.h"
#include "vimbo/engine/effective_settings.h"
#include "vimbo/engine/file_size.h"
#include "vimbo/engine/interruption.h"
#include "vimbo/engine/paths.h"
#include "vimbo/engine/source_extensions.h"
#include "vimbo/engine/terminal.h"
#include "vimbo/engine/whole_file.h"

namespace fs = std::filesystem;

namespace vimbo::cli {
namespace {

using vimbo::engine::EffectiveSettings;
using vimbo::engine::fileSizeText;
using vimbo::engine::hasSourceExtension;

// A list names a path a line: generous, but not without end (one that
// /dev/zero stands in for would be).
constexpr std::uint64_t kMaxListSize = std::uint64_t{256} << 20;

// Standard input up to `limit` bytes, and (`list`) no further than a NUL
// byte, which no list holds: false when it is longer, or can't be read.
bool readStandardInput(std::uint64_t limit, std::string& text, bool& tooLarge, bool list = true) {
    char buffer[65536];
    // C's stdio, which tells a failed read (a directory, a closed
    // descriptor) from the end, where a stream tells neither.
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, stdin);
        if (got == 0) return !std::ferror(stdin);
        if (text.size() + got > limit) {
            tooLarge = true;
            return false;
        }
        text.append(buffer, got);
        if (list && std::memchr(buffer, '\0', got)) return true;
    }
}

// One path per line; "-" reads standard input. "" or what is wrong with the list.
std::string readFileList(const std::string& name, std::vector<std::string>& paths) {
    const std::string shown = name == "-" ? "standard input" : name;
    std::string text;
    bool tooLarge = false;
    if (name == "-") {
        if (!readStandardInput(kMaxListSize, text, tooLarge) && !tooLarge) return shown + ": can't read the file list";
    } else {
        const vimbo::engine::WholeFile read = vimbo::engine::readRegularFile(name, kMaxListSize, text);
        tooLarge = read == vimbo::engine::WholeFile::tooLarge;
        if (read == vimbo::engine::WholeFile::notRegular) return shown + ": can't read the file list (not a regular file; --files-from - reads standard input)";
        if (read != vimbo::engine::WholeFile::read && !tooLarge) return shown + ": can't read the file list";
    }
    if (tooLarge) return shown + ": can't read the file list (larger than " + fileSizeText(kMaxListSize) + ")";
    std::size_t number = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        ++number;
        std::string line = text.substr(start, end - start);
        start = end + 1;
        // A path ends at a NUL byte for the system: the rest would be lost.
        if (line.find('\0') != std::string::npos)
            return shown + ":" + std::to_string(number) + ": holds a NUL byte, which no path can";
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) paths.push_back(std::move(line));
    }
    return "";
}

// A list from git or a file names files that are gone when they were
// deleted: nothing to rewrite, the same in every mode. Returns them; each
// is noted where `noted`.
std::vector<std::string> dropDeleted(std::vector<std::string>& paths, bool noted = true) {
    std::vector<std::string> gone;
    paths.erase(std::remove_if(paths.begin(), paths.end(),
                               [&](const std::string& path) {
                                   if (vimbo::engine::pathExists(path)) return false;
                                   if (noted) std::cerr << "vimbo: note: " << path << ": no such file (deleted?); skipped\n";
                                   gone.push_back(path);
                                   return true;
                               }),
                paths.end());
    return gone;
}

std::string relativeToCurrent(const std::string& path) {
    return fs::path(path).lexically_normal().generic_string();
}

// The configuration's file, as the project reads it in every directory.
const char kConfigFile[] = ".vimbo.toml";

// The run of --staged judges what the commit will hold. A dry run reads
// the staged text of each file it takes, and of every file (a header, say)
// whose work tree has changed since the staging, in place of the disk's.
// A rewrite or a verification reads the disk, as the compiler does: it is
// refused where the work tree differs (its verdict would be of other text
// than the commit's, and the index's changed lines would be other lines).
bool stagedTexts(const FrontEndOptions& options, const std::vector<std::string>& taken, StreamObserver& observer,
                 std::vector<std::pair<std::string, std::string>>& staged) {
    std::vector<std::string> unlike;
    std::string error;
    if (!gitUnlikeIndex(unlike, error)) {
        observer.message("vimbo: " + error + "\n");
        return false;
    }
    // The configuration is read from the disk.
    std::vector<std::string> refused;
    for (const std::string& file : unlike)
        if (fs::path(file).filename() == kConfigFile) refused.push_back(file);
    const bool dry = (options.check || options.diff || options.audit) && !options.verify;
    // Looked up once per file taken: a commit over a large tree takes many.
    const std::set<std::string> unlikeSet(unlike.begin(), unlike.end());
    if (!dry) {
        // A rewrite numbers the lines of the files it takes; a verification
        // preprocesses every file.
        for (const std::string& file : options.verify ? unlike : taken)
            if (options.verify || unlikeSet.count(file)) refused.push_back(file);
    }
    for (const std::string& file : refused)
        observer.message("vimbo: " + file + ": --staged: changed since it was staged, and " +
                         (fs::path(file).filename() == kConfigFile
                              ? std::string("the configuration is read from the work tree")
                              : std::string("a rewrite or --verify reads the work tree")) +
                         ", not the commit's text; stage it (git add) or set the change aside (git stash --keep-index)\n");
    if (!refused.empty()) return false;
    if (!dry) return true;
    // Each file once: those taken (a patch of the staged text applies to
    // the index), and those the work tree holds otherwise.
    std::vector<std::string> files = taken;
    const std::set<std::string> takenSet(taken.begin(), taken.end());
    for (const std::string& file : unlike)
        if (!takenSet.count(file)) files.push_back(file);
    std::vector<std::optional<std::string>> texts;
    const vimbo::engine::GitAnswer read = vimbo::engine::gitIndexTexts(files, texts);
    if (read.status != vimbo::engine::GitStatus::answered) {
        observer.message("vimbo: --staged: " + read.message + "\n");
        return false;
    }
    for (std::size_t i = 0; i < files.size() && i < texts.size(); ++i)
        if (texts[i]) staged.emplace_back(files[i], std::move(*texts[i]));
    return true;
}

// The paths of the run, from the command line, a list, git or the build.
// Returns false (with the exit status) when the run can't go on.
using LinesOfFiles = std::map<std::string, vimbo::engine::LineRanges>;
bool gatherPaths(const FrontEndOptions& options, const EffectiveSettings& effective, const vimbo::engine::ArgumentWords& words,
                 std::vector<std::string>& paths, int& status, StreamObserver& observer, LinesOfFiles& lines,
                 std::vector<std::pair<std::string, std::string>>& staged) {
    paths = words.files;
    if (!options.filesFrom.empty()) {
        std::vector<std::string> listed;
        const std::string problem = readFileList(options.filesFrom, listed);
        if (!problem.empty()) {
            observer.message("vimbo: " + problem + "\n");
            status = 2;
            return false;
        }
        dropDeleted(listed);
        paths.insert(paths.end(), listed.begin(), listed.end());
    }
    if (options.since.empty() && !options.staged) return true;
    std::vector<std::string> changed;
    std::vector<vimbo::engine::LineRanges> changedLines;
    std::string error;
    if (!gitChangedFiles(options.since, options.staged, changed, error,
                         options.changedLinesOnly ? &changedLines : nullptr)) {
        observer.message("vimbo: " + error + "\n");
        status = 2;
        return false;
    }
    for (std::size_t i = 0; i < changedLines.size() && i < changed.size(); ++i)
        lines[fs::path(changed[i]).lexically_normal().generic_string()] = std::move(changedLines[i]);
    // Paths named narrow the changed files to those under them.
    const std::vector<std::string> within = paths;
    paths.clear();
    for (const std::string& file : changed) {
        // A file named itself is taken whatever its extension, as everywhere.
        // With links resolved: a root above the current directory (..), or
        // one named through a linked directory, is no prefix of git's names.
        std::error_code ignored;
        const fs::path real = fs::weakly_canonical(fs::absolute(file, ignored), ignored);
        const auto realOf = [&](const std::string& path) {
            return fs::weakly_canonical(fs::absolute(path, ignored), ignored);
        };
        const bool named = std::any_of(within.begin(), within.end(), [&](const std::string& path) {
            return relativeToCurrent(path) == file || realOf(path) == real;
        });
        const bool inside = named || within.empty() ||
                            std::any_of(within.begin(), within.end(), [&](const std::string& root) {
                                const fs::path relative = real.lexically_relative(realOf(root));
                                return !relative.empty() && *relative.begin() != "..";
                            });
        if (inside && (named || hasSourceExtension(file, effective.extensions(file).value))) paths.push_back(file);
    }
    const bool fromIndex =
        options.staged && (options.check || options.diff || options.audit || options.changedLinesOnly);
    // Staged, then deleted: the commit holds a text the work tree does not.
    const std::vector<std::string> gone = dropDeleted(paths, !fromIndex);
    if (fromIndex && !gone.empty()) {
        for (const std::string& file : gone)
            observer.message("vimbo: " + file + ": --staged: deleted since it was staged, so the check can't read "
                             "the commit's text; stage the deletion (git rm) or restore it (git restore)\n");
        status = 2;
        return false;
    }
    if (fromIndex && !stagedTexts(options, paths, observer, staged)) {
        status = 2;
        return false;
    }
    if (paths.empty()) {
        if (!options.quiet)
            std::cerr << "vimbo: no C or C++ file changed" << (options.staged ? " in the index" : " since " + options.since)
                      << "; nothing to do\n";
        status = 0;
        return false;
    }
    return true;
}

}  // namespace

namespace {

vimbo::engine::BatchMode modeOf(const FrontEndOptions& given) {
    return given.audit ? vimbo::engine::BatchMode::audit
           : given.check ? vimbo::engine::BatchMode::check
           : given.diff  ? vimbo::engine::BatchMode::diff
                         : vimbo::engine::BatchMode::rewrite;
}

vimbo::engine::Strip stripOf(const FrontEndOptions& given) {
    using vimbo::engine::Strip;
    return given.strip ? Strip::all : given.stripWrong ? Strip::wrong : Strip::none;
}

int runWithObserver(const FrontEndOptions& given, const vimbo::engine::ArgumentWords& words,
                    const std::string& includePath, StreamObserver& observer, std::string& usageProblem) {
    const auto usage = [&](const std::string& problem) {
        usageProblem = problem;
        return 2;
    };
    if (words.lineMode) return usage("--tree, --check, --diff, --audit and --strip take files, not -t");
    // A mistyped option must not be taken for a file: "-check" would rewrite
    // the tree that --check was meant to look at.
    if (!given.unknownWords.empty()) {
        const std::string& word = given.unknownWords.front();
        return usage("unknown option '" + word + "'; did you mean " + nearestOption(word) + "?");
    }
    // A signal while git is asked ends the run as one during the rewrite does.
    vimbo::platform::Interruption interruption;
    EffectiveSettings effective(commandLineSettingsOf(given), includePath);

    std::vector<std::string> paths;
    int status = 0;
    auto lines = std::make_shared<LinesOfFiles>();
    std::vector<std::pair<std::string, std::string>> staged;
    if (!gatherPaths(given, effective, words, paths, status, observer, *lines, staged)) return status;

    vimbo::engine::BatchRequest run;
    run.mode = modeOf(given);
    run.strip = stripOf(given);
    run.backup = words.backup;
    run.tree = given.tree;
    run.breakLinks = given.breakLinks;
    run.gitIgnore = given.gitIgnore;
    run.forceExtensions = given.forceExtensions;
    run.verify = given.verify;
    run.allowLineShift = given.allowLineShift;
    run.allowUnverified = given.allowUnverified;
    run.jobs = given.jobs;
    run.includePath = includePath;
    run.format = given.format;
    run.paths = std::move(paths);
    run.pathsListed = !given.filesFrom.empty() || !given.since.empty() || given.staged;
    run.listName = given.filesFrom;
    if (given.changedLinesOnly) run.onlyLines = std::move(lines);
    run.textsInPlace = std::move(staged);
    if (given.standardInput) {
        if (!run.paths.empty()) return usage("\"-\" stands for the one file --assume-filename names: no other file");
        std::string text;
        bool tooLarge = false;
        vimbo::platform::useBinaryStandardStreams();
        const std::uint64_t limit = given.maxFileSize ? given.maxFileSize : vimbo::engine::kDefaultMaxFileSize;
        if (!readStandardInput(limit, text, tooLarge, false)) {
            observer.message(std::string("vimbo: standard input: ") +
                             (tooLarge ? "larger than " + fileSizeText(limit) : std::string("can't be read")) + "\n");
            return 2;
        }
        run.paths = {given.assumeFilename};
        run.givenText = std::move(text);
        run.mode = vimbo::engine::BatchMode::check;  // nothing on disk is written
    }
    return vimbo::engine::runProject(run, effective, observer, usageProblem);
}

// The words of a check as the rewrite that fixes what it found: --tree for
// --check or --diff, without what only shapes the report.
std::string fixCommand(const std::vector<std::string>& words) {
    static const char* const kDropped[] = {"--check", "--diff", "--verbose", "-v", "--quiet", "-q"};
    std::vector<std::string> kept;
    bool tree = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--") {
            kept.insert(kept.end(), words.begin() + static_cast<long>(i), words.end());
            break;
        }
        if (std::any_of(std::begin(kDropped), std::end(kDropped), [&](const char* d) { return word == d; })) continue;
        if (word == "--format" || word == "--color" || word == "--colour") {
            ++i;
            continue;
        }
        if (word.rfind("--format=", 0) == 0 || word.rfind("--color=", 0) == 0 || word.rfind("--colour=", 0) == 0) continue;
        tree = tree || word == "--tree";
        kept.push_back(word);
    }
    if (!tree) kept.insert(kept.begin(), "--tree");
    std::string text = "vimbo";
    for (const std::string& word : kept) {
        // Quoted for a POSIX shell where it holds anything but plain characters.
        const bool plain = !word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                                   "0123456789-_./=:,+@%") == std::string::npos;
        text += " ";
        if (plain) {
            text += word;
            continue;
        }
        text += "'";
        for (char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
        text += "'";
    }
    return text;
}

}  // namespace

int runBatchCommand(const FrontEndOptions& given, const vimbo::engine::ArgumentWords& words, const std::string& includePath,
                    const std::vector<std::string>& commandLine) {
    StreamObserver observer(given.verbose, Painter{given.format == vimbo::engine::OutputFormat::text && colourWanted(given.colour)},
                            given.quiet);
    std::string usageProblem;
    int status = runWithObserver(given, words, includePath, observer, usageProblem);
    if (!usageProblem.empty()) status = usageError(usageProblem);
    // A failed check says how to fix it (what a hook's user reads first).
    if (status == 1 && (given.check || given.diff) && !given.audit && !commandLine.empty()) {
        const char* what = given.strip || given.stripWrong ? "to take them away" : "to wrap them";
        // A list read from standard input is not there to read again.
        const bool listFromInput =
            given.filesFrom == "-" && std::find(commandLine.begin(), commandLine.end(), "--") == commandLine.end();
        if (listFromInput)
            std::cerr << "vimbo: " << what << ", run the same command with --tree in place of --check or --diff\n";
        else
            std::cerr << "vimbo: " << what << ", run: " << fixCommand(commandLine)
                      // The rewrite is of the work tree: the commit takes it once staged.
                      << (given.staged ? ", then stage the files again (git add); what changed since the staging, "
                                         "stage or set aside (git stash --keep-index) first"
                                       : "")
                      << "\n";
    }
    // Tools that read the document get one however the run ended.
    if (given.format != vimbo::engine::OutputFormat::text && !observer.documentShown()) {
        std::vector<std::string> errors = observer.errorsTold();
        if (!usageProblem.empty()) errors.push_back(usageProblem);
        if (status < 2) errors.clear();
        if (status >= 2 && errors.empty()) errors.push_back("the run stopped (exit status " + std::to_string(status) + ")");
        std::cout << vimbo::engine::documentWithout(given.format, modeOf(given), stripOf(given), errors);
    }
    return status;
}

}  // namespace vimbo::cli
