#include "batch_command.h"

#include <algorithm>
#include <filesystem>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <set>

#include "batch/batch_run.h"
#include "project/effective_settings.h"
#include "changed_files.h"
#include "batch/database_files.h"
#include "project/file_size.h"
#include "project/git_access.h"
#include "project/project_config.h"
#include "project/source_tree.h"
#include "usage.h"
#include "batch/verified_run.h"
#include "vimbo/engine/interruption.h"
#include "vimbo/engine/paths.h"
#include "vimbo/engine/single_run.h"
#include "vimbo/engine/whole_file.h"
#include "stream_observer.h"

namespace fs = std::filesystem;

namespace vimbo::cli {
namespace {

using namespace vimbo::batch;
using namespace vimbo::project;

// A list names a path a line: generous, but not without end (one that
// /dev/zero stands in for would be).
constexpr std::uint64_t kMaxListSize = std::uint64_t{256} << 20;

// Standard input up to `limit` bytes, and no further than a NUL byte (which
// no list holds): false when it is longer, or can't be read.
bool readStandardInput(std::uint64_t limit, std::string& text, bool& tooLarge) {
    char buffer[65536];
    while (std::cin.read(buffer, sizeof buffer) || std::cin.gcount() > 0) {
        const std::size_t got = static_cast<std::size_t>(std::cin.gcount());
        if (text.size() + got > limit) {
            tooLarge = true;
            return false;
        }
        text.append(buffer, got);
        if (std::memchr(buffer, '\0', got)) return true;
    }
    return !std::cin.bad();
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

// Every path named must be there, and a directory needs --tree, before
// anything is read or written.
bool pathsUsable(const std::vector<std::string>& paths, bool tree) {
    bool usable = true;
    for (const std::string& path : paths) {
        if (!vimbo::engine::pathExists(path)) {
            std::cerr << "vimbo: " << path << ": no such file or directory\n";
            usable = false;
        } else if (!tree && vimbo::engine::isDirectory(path)) {
            std::cerr << "vimbo: " << path << ": is a directory; add --tree to take the files under it\n";
            usable = false;
        }
    }
    return usable;
}

// A list from git or a file names files that are gone when they were
// deleted: nothing to rewrite, the same in every mode.
void dropDeleted(std::vector<std::string>& paths) {
    paths.erase(std::remove_if(paths.begin(), paths.end(),
                               [](const std::string& path) {
                                   if (vimbo::engine::pathExists(path)) return false;
                                   std::cerr << "vimbo: note: " << path << ": no such file (deleted?); skipped\n";
                                   return true;
                               }),
                paths.end());
}

std::string relativeToCurrent(const std::string& path) {
    return fs::path(path).lexically_normal().generic_string();
}

// Whether the run itself, reading every file before it rewrites any, tells
// which have several hard links: not where anything looks at the list
// before the run (a verification keeps the files first; a build's database
// notes the sources it does not compile).
bool linksCountedByRun(const FrontEndOptions& options) {
    return options.tree && !options.breakLinks && !options.verify && options.buildDirectory.empty();
}

BatchSettings batchSettingsOf(const FrontEndOptions& options, const ArgumentWords& words, const std::string& includePath) {
    BatchSettings batch;
    batch.mode = options.audit   ? BatchMode::audit
                 : options.check ? BatchMode::check
                 : options.diff  ? BatchMode::diff
                                 : BatchMode::rewrite;
    using vimbo::engine::Strip;
    batch.rewrite.strip = options.strip ? Strip::all : options.stripWrong ? Strip::wrong : Strip::none;
    batch.rewrite.backup = words.backup;
    batch.rewrite.keepLines = options.keepLines;
    batch.rewrite.precompiledHeaders = options.precompiledHeaders;
    batch.includePath = includePath;
    batch.jobs = options.jobs;
    batch.showProgress = options.tree;
    batch.skipLinked = linksCountedByRun(options);
    batch.format = options.format;
    batch.maxFileSize = options.maxFileSize;
    return batch;
}

// The files of the run: those named (unless excluded), and with --tree
// those under each directory.
SourceTree filesOf(const FrontEndOptions& options, const EffectiveSettings& effective, const std::vector<std::string>& paths) {
    SourceTree tree;
    std::vector<std::string> roots;
    for (const std::string& path : paths) {
        if (!vimbo::engine::isDirectory(path) && effective.excluded(path, relativeToCurrent(path))) continue;
        // A tree run takes even a file named through the walk, which leaves
        // links alone (a rewrite would turn one into a copy).
        (options.tree ? roots : tree.files).push_back(path);
    }
    if (roots.empty()) return tree;
    WalkOptions walk;
    walk.breakLinks = options.breakLinks;
    walk.linksCountedLater = linksCountedByRun(options);
    walk.gitIgnore = options.gitIgnore;
    walk.accepts = [&](const std::string& path, const std::string& relative) {
        return hasSourceExtension(path, effective.extensions(path).value) && !effective.excluded(path, relative);
    };
    SourceTree walked = findSources(roots, walk);
    for (const std::string& error : walked.errors) std::cerr << "vimbo: " << error << "\n";
    tree.files.insert(tree.files.end(), walked.files.begin(), walked.files.end());
    std::sort(tree.files.begin(), tree.files.end());
    tree.files.erase(std::unique(tree.files.begin(), tree.files.end()), tree.files.end());
    tree.skipped = std::move(walked.skipped);
    tree.errors = std::move(walked.errors);
    tree.directories = std::move(walked.directories);
    tree.gitProblems = std::move(walked.gitProblems);
    return tree;
}

// The paths of the run, from the command line, a list, git or the build.
// Returns false (with the exit status) when the run can't go on.
bool gatherPaths(const FrontEndOptions& options, const EffectiveSettings& effective, const ArgumentWords& words,
                 std::vector<std::string>& paths, int& status) {
    paths = words.files;
    if (!options.filesFrom.empty()) {
        std::vector<std::string> listed;
        const std::string problem = readFileList(options.filesFrom, listed);
        if (!problem.empty()) {
            std::cerr << "vimbo: " << problem << "\n";
            status = 2;
            return false;
        }
        dropDeleted(listed);
        paths.insert(paths.end(), listed.begin(), listed.end());
    }
    if (options.since.empty() && !options.staged) return true;
    std::vector<std::string> changed;
    std::string error;
    if (!gitChangedFiles(options.since, options.staged, changed, error)) {
        std::cerr << "vimbo: " << error << "\n";
        status = 2;
        return false;
    }
    dropDeleted(changed);
    // Paths named narrow the changed files to those under them.
    const std::vector<std::string> within = paths;
    paths.clear();
    for (const std::string& file : changed) {
        // A file named itself is taken whatever its extension, as everywhere.
        const bool named = std::any_of(within.begin(), within.end(),
                                       [&](const std::string& path) { return relativeToCurrent(path) == file; });
        const bool inside = named || within.empty() ||
                            std::any_of(within.begin(), within.end(), [&](const std::string& root) {
                                const fs::path relative = fs::path(file).lexically_relative(relativeToCurrent(root));
                                return !relative.empty() && *relative.begin() != "..";
                            });
        if (inside && (named || hasSourceExtension(file, effective.extensions(file).value))) paths.push_back(file);
    }
    if (paths.empty()) {
        std::cerr << "vimbo: no C or C++ file changed" << (options.staged ? " in the index" : " since " + options.since)
                  << "; nothing to do\n";
        status = 0;
        return false;
    }
    return true;
}

// A source the build does not compile is judged with every entry's directories.
void noteSourcesOutside(const CompileDatabase& database, const std::vector<std::string>& files) {
    static const std::vector<std::string> kSourceExtensions = {".c", ".cc", ".cpp", ".cxx", ".c++", ".m", ".mm"};
    for (const std::string& file : files)
        if (hasSourceExtension(file, kSourceExtensions) && !database.lists(file))
            std::cerr << "vimbo: note: " << file
                      << ": not compiled by the build's database; its includes are judged with every entry's "
                         "directories\n";
}

// What counts as the repository for a program a .vimbo.toml names: the
// current directory, the configuration's, and the git work trees above them.
std::vector<std::string> repositoryOf(const std::string& configurationFile) {
    std::vector<std::string> repository;
    const std::string configuration = fs::path(configurationFile).parent_path().generic_string();
    for (const std::string& directory : {std::string("."), configuration}) {
        repository.push_back(directory);
        repository.push_back(workTreeAbove(directory));
    }
    return repository;
}

// A database only a .vimbo.toml names runs no program of the repository.
CompilerTrust compilerTrust(const FrontEndOptions& given, const EffectiveSettings& effective,
                            const std::string& databaseFile) {
    CompilerTrust trust;
    trust.databaseNamedByUser = !given.buildDirectory.empty();
    if (trust.databaseNamedByUser) return trust;
    trust.repository = repositoryOf(effective.compileCommands().from);
    trust.repository.push_back(fs::path(databaseFile).parent_path().generic_string());
    return trust;
}

// The compiler asked without a database: one the command line names, or
// the defaults, runs; one a .vimbo.toml names is the repository's choice.
CompilerChoice compilerChoice(const EffectiveSettings& effective) {
    CompilerChoice choice;
    const Sourced<std::string> compiler = effective.compiler();
    choice.program = compiler.value;
    choice.trust.databaseNamedByUser = compiler.from == "command line" || compiler.from == "default";
    choice.trust.remedy = "; name it with --compiler to run it";
    if (!choice.trust.databaseNamedByUser) choice.trust.repository = repositoryOf(compiler.from);
    return choice;
}

}  // namespace

int runBatchCommand(const FrontEndOptions& given, const ArgumentWords& words, const std::string& includePath) {
    if (words.lineMode) return usageError("--tree, --check, --diff, --audit and --strip take files, not -t");
    // A mistyped option must not be taken for a file: "-check" would rewrite
    // the tree that --check was meant to look at.
    if (!given.unknownWords.empty()) {
        const std::string& word = given.unknownWords.front();
        return usageError("unknown option '" + word + "'; did you mean " + nearestOption(word) + "?");
    }
    // A signal while the compilers are asked ends the run before any file is read.
    vimbo::platform::Interruption interruption;
    const auto interrupted = [] {
        const int signal = vimbo::platform::Interruption::signal();
        if (signal) std::cerr << "vimbo: interrupted before the rewrite; nothing was changed\n";
        return signal ? 128 + signal : 0;
    };
    ProjectConfigs configs;
    const EffectiveSettings effective(commandLineSettingsOf(given), configs, includePath);
    StreamObserver observer(given.verbose, Painter{given.format == OutputFormat::text && colourWanted(given.colour)});
    const Tell tell = [&](const std::string& lines) { observer.message(lines); };
    // Options for the whole run come from the current directory's configuration.
    FrontEndOptions options = given;
    const bool rewritesText = !options.audit && !options.strip && !options.stripWrong;
    options.keepLines = effective.keepLines().value && rewritesText;
    options.strict = effective.strict().value;
    options.buildDirectory = effective.compileCommands().value;
    options.maxFileSize = effective.maxFileSize().value;

    std::vector<std::string> paths;
    int status = 0;
    if (!gatherPaths(options, effective, words, paths, status)) return status;

    BatchSettings batch = batchSettingsOf(options, words, includePath);
    CompileDatabase database;
    std::string databaseFile;
    std::optional<RunLookups> lookups;
    if (!options.buildDirectory.empty()) {
        std::string error;
        std::string& found = databaseFile;
        if (!findCompileDatabase(options.buildDirectory, found, error, tell) ||
            !database.load(found, error, vimbo::engine::includeFromEnvironment(), tell)) {
            std::cerr << "vimbo: " << error << "\n";
            return 2;
        }
        batch.database = &database;
        lookups.emplace(database, compilerTrust(given, effective, databaseFile), includePath, options.jobs, observer);
        batch.lookups = &*lookups;
        if (const int stopped = interrupted()) return stopped;
    }
    const bool fromBuild =
        paths.empty() && batch.database && options.filesFrom.empty() && options.since.empty() && !options.staged;
    if (fromBuild) {
        const DatabaseFiles built = databaseFiles(database, *lookups, options.gitIgnore, options.maxFileSize);
        if (!built.gitProblem.empty()) {
            std::cerr << "vimbo: " << built.gitProblem << "\n";
            return 2;
        }
        for (const std::string& missing : built.missing)
            std::cerr << "vimbo: warning: " << missing << ": in the build's database but not on disk\n";
        if (built.outside > 0)
            std::cerr << "vimbo: note: " << built.outside
                      << " sources of the build lie outside the current directory; left alone\n";
        if (!built.missing.empty() && options.strict) return 2;
        paths = built.files;
        if (paths.empty()) {
            std::cerr << "vimbo: the build's database names no source inside the current directory\n";
            return 2;
        }
    }
    if (paths.empty()) {
        if (!options.filesFrom.empty()) {
            std::cerr << "vimbo: " << options.filesFrom << ": names no file to take\n";
            return 2;
        }
        return usageError(options.tree ? "--tree needs a directory or file" : "no file given");
    }
    if (!pathsUsable(paths, options.tree)) return 2;
    if (options.verify && !batch.database) return usageError("--verify needs -p DIR, the build whose units it checks");

    const SourceTree tree = filesOf(options, effective, paths);
    // Taken as "nothing ignored", a refusal would rewrite what git ignores.
    for (const std::string& problem : tree.gitProblems) std::cerr << "vimbo: " << problem << "\n";
    if (!tree.gitProblems.empty()) return 2;
    for (const std::string& error : configs.errors()) std::cerr << "vimbo: " << error << "\n";
    if (!configs.errors().empty()) return 2;
    batch.directories = &tree.directories;
    batch.includePathFor = [&](const std::string& path) { return effective.searchPath(path).value; };
    batch.precompiledHeadersFor = [&](const std::string& path) {
        std::vector<std::string> names = effective.precompiledHeaders(path).value;
        // The build's own: what its entries precompile or force in.
        if (batch.database)
            for (const std::string& name : database.precompiledHeadersOf(path)) names.push_back(name);
        return names;
    };
    const bool anySearchPath =
        !includePath.empty() || std::any_of(tree.files.begin(), tree.files.end(), [&](const std::string& file) {
            return configs.forFile(file).searchPath.has_value();
        });
    if (batch.database && !fromBuild) noteSourcesOutside(database, tree.files);
    if (!batch.database) {
        lookups.emplace(compilerChoice(effective), tree.files, batch.includePathFor, options.jobs, observer);
        batch.lookups = &*lookups;
        if (const int stopped = interrupted()) return stopped;
        // The compiler's own directories are searched wherever it could be asked.
        if (!anySearchPath && lookups->guessed()) {
            std::cerr << "vimbo: warning: no include search path (-i, -p, INCLUDE or " << kConfigFileName
                      << "): includes in angle brackets can't be found\n";
            if (options.strict) return 2;
        }
    }

    const int walkErrors = static_cast<int>(tree.errors.size());
    if (!options.verify) return runBatch(batch, tree.files, tree.skipped, walkErrors, observer);
    // The run stands only if every unit of the build still preprocesses to
    // the same text.
    VerifySettings verify;
    verify.database = &database;
    verify.jobs = options.jobs;
    verify.dryRun = batch.mode != BatchMode::rewrite;
    verify.showProgress = true;
    verify.observer = &observer;
    verify.files = tree.files;
    verify.backups = batch.rewrite.backup;
    verify.allowLineShift = options.allowLineShift;
    verify.allowUnverified = options.allowUnverified;
    verify.trust = compilerTrust(given, effective, databaseFile);
    // A report for tools tells what stands: a rewrite put back changed nothing.
    std::string report;
    bool putBack = false;
    if (batch.format != OutputFormat::text) batch.reportInto = &report;
    verify.onPutBack = [&] { putBack = true; };
    // What goes back is held to the version the rewrite left.
    std::map<std::string, vimbo::engine::FileVersion> written;
    batch.rewrite.noteVersions = !verify.dryRun;
    batch.written = &written;
    verify.written = &written;
    std::set<std::pair<std::uint64_t, std::uint64_t>> linkedAside;
    verify.linkedAside = &linkedAside;
    batch.linkedAside = &linkedAside;
    verify.summaryToStandardError = batch.format != OutputFormat::text;
    const int verified = runVerified(verify, [&](DryRunTexts* texts) {
        batch.dryRunTexts = texts;
        return runBatch(batch, tree.files, tree.skipped, walkErrors, observer);
    });
    if (batch.format != OutputFormat::text) {
        if (putBack || report.empty()) {
            batch.reportInto = nullptr;
            report = emptyReport(batch);
        }
        std::cout << report;
    }
    return verified;
}

}  // namespace vimbo::cli
