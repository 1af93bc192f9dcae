#include "batch/project_run.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "batch/buffer_run.h"
#include "batch/database_files.h"
#include "batch/kept_files.h"
#include "batch/told.h"
#include "batch/verified_run.h"
#include "project/compile_database.h"
#include "project/git_access.h"
#include "project/project_headers.h"
#include "project/source_tree.h"
#include "vimbo/engine/interruption.h"
#include "vimbo/engine/paths.h"
#include "vimbo/engine/single_run.h"
#include "vimbo/engine/text_in_place.h"

namespace fs = std::filesystem;

namespace vimbo::batch {

using namespace vimbo::project;

namespace {

// The request with what the project's configuration adds for the whole run.
struct Resolved : vimbo::engine::BatchRequest {
    bool keepLines = false;
    bool strict = false;
    std::string buildDirectory;  // where compile_commands.json is looked for; "" for none
    std::uint64_t maxFileSize = 0;
    bool databaseNamedByUser = false;  // the front end named it, not a .vimbo.toml
};

std::string relativeToCurrent(const std::string& path) {
    return fs::path(path).lexically_normal().generic_string();
}

// Every path named must be there, and a directory needs --tree, before
// anything is read or written.
bool pathsUsable(const std::vector<std::string>& paths, bool tree, vimbo::engine::BatchObserver& observer) {
    bool usable = true;
    for (const std::string& path : paths) {
        if (!vimbo::engine::pathExists(path)) {
            Told(observer) << "vimbo: " << path << ": no such file or directory\n";
            usable = false;
        } else if (!tree && vimbo::engine::isDirectory(path)) {
            Told(observer) << "vimbo: " << path << ": is a directory; add --tree to take the files under it\n";
            usable = false;
        }
    }
    return usable;
}


// Whether the run itself, reading every file before it rewrites any, tells
// which have several hard links: not where anything looks at the list
// before the run (a verification keeps the files first; a build's database
// notes the sources it does not compile).
bool linksCountedByRun(const Resolved& options) {
    return options.tree && !options.breakLinks && !options.verify && options.buildDirectory.empty();
}


BatchSettings batchSettingsOf(const Resolved& options) {
    BatchSettings batch;
    batch.mode = options.mode;
    batch.rewrite.strip = options.strip;
    batch.rewrite.backup = options.backup;
    batch.rewrite.keepLines = options.keepLines;
    batch.rewrite.onlyLines = options.onlyLines;
    batch.includePath = options.includePath;
    batch.jobs = options.jobs;
    batch.showProgress = options.tree;
    batch.skipLinked = linksCountedByRun(options);
    batch.format = options.format;
    batch.maxFileSize = options.maxFileSize;
    batch.strict = options.strict;
    const auto headers = std::make_shared<ProjectHeaders>(projectTop());
    batch.inProject = [headers](const std::string& header) { return headers->has(header); };
    return batch;
}

// A file named twice (x.c ./x.c), or reached through overlapping roots
// (". x.c"), is one file: a second rewrite of it in the same run would find
// the first's text in its place. The first spelling stays, in its place.
void keepFirstSpelling(std::vector<std::string>& files) {
    std::set<std::string> kept;
    files.erase(std::remove_if(files.begin(), files.end(),
                               [&](const std::string& file) { return !kept.insert(relativeToCurrent(file)).second; }),
                files.end());
}

// The files of the run: those named (unless excluded), and with --tree
// those under each directory.
SourceTree filesOf(const Resolved& options, const EffectiveSettings& effective, const std::vector<std::string>& paths,
                   vimbo::engine::BatchObserver& observer) {
    SourceTree tree;
    std::vector<std::string> roots;
    // What runs cut short left beside the files named is looked at too.
    std::vector<std::string> named;
    for (const std::string& path : paths) {
        const bool directory = vimbo::engine::isDirectory(path);
        if (!directory && effective.excluded(path, relativeToCurrent(path))) continue;
        if (!directory && options.forceExtensions && !hasSourceExtension(path, effective.extensions(path).value)) continue;
        if (!directory) named.push_back(path);
        // A tree run takes even a file named through the walk, which leaves
        // links alone (a rewrite would turn one into a copy).
        (options.tree ? roots : tree.files).push_back(path);
    }
    if (roots.empty()) {
        keepFirstSpelling(tree.files);
        noteDirectoriesOf(named, tree);
        return tree;
    }
    WalkOptions walk;
    walk.breakLinks = options.breakLinks;
    walk.linksCountedLater = linksCountedByRun(options);
    walk.gitIgnore = options.gitIgnore;
    walk.accepts = [&](const std::string& path, const std::string& relative) {
        return hasSourceExtension(path, effective.extensions(path).value) && !effective.excluded(path, relative);
    };
    SourceTree walked = findSources(roots, walk);
    for (const std::string& error : walked.errors) Told(observer) << "vimbo: " << error << "\n";
    tree.files.insert(tree.files.end(), walked.files.begin(), walked.files.end());
    std::sort(tree.files.begin(), tree.files.end());
    tree.files.erase(std::unique(tree.files.begin(), tree.files.end()), tree.files.end());
    if (roots.size() > 1) keepFirstSpelling(tree.files);
    tree.skipped = std::move(walked.skipped);
    tree.errors = std::move(walked.errors);
    tree.directories = std::move(walked.directories);
    tree.gitProblems = std::move(walked.gitProblems);
    noteDirectoriesOf(named, tree);
    return tree;
}


// A source the build does not compile is judged with every entry's directories.
void noteSourcesOutside(const CompileDatabase& database, const std::vector<std::string>& files, vimbo::engine::BatchObserver& observer) {
    static const std::vector<std::string> kSourceExtensions = {".c", ".cc", ".cpp", ".cxx", ".c++", ".m", ".mm"};
    for (const std::string& file : files)
        if (hasSourceExtension(file, kSourceExtensions) && !database.lists(file))
            Told(observer) << "vimbo: note: " << file
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
CompilerTrust compilerTrust(const Resolved& given, const EffectiveSettings& effective,
                            const std::string& databaseFile) {
    CompilerTrust trust;
    trust.databaseNamedByUser = given.databaseNamedByUser;
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

int runProject(const vimbo::engine::BatchRequest& run, const EffectiveSettings& effective, ProjectConfigs& configs,
               vimbo::engine::BatchObserver& observer, std::string& usageProblem) {
    const auto usage = [&](const std::string& problem) {
        usageProblem = problem;
        return 2;
    };
    const Tell tell = [&](const std::string& lines) { observer.message(lines); };
    // A signal while the compilers are asked ends the run before any file is read.
    vimbo::platform::Interruption interruption;
    const auto interrupted = [&] {
        const int signal = vimbo::platform::Interruption::signal();
        if (signal) observer.message("vimbo: interrupted before the rewrite; nothing was changed\n");
        return signal ? 128 + signal : 0;
    };
    // Options for the whole run come from the current directory's configuration.
    Resolved options;
    static_cast<vimbo::engine::BatchRequest&>(options) = run;
    const bool rewritesText = run.mode != vimbo::engine::BatchMode::audit && run.strip == vimbo::engine::Strip::none;
    options.keepLines = effective.keepLines().value && rewritesText;
    options.strict = effective.strict().value;
    const Sourced<std::string> databaseSetting = effective.compileCommands();
    options.buildDirectory = databaseSetting.value;
    options.databaseNamedByUser = databaseSetting.from == "command line";
    options.maxFileSize = effective.maxFileSize().value;

    BatchSettings batch = batchSettingsOf(options);
    const std::string& includePath = options.includePath;
    std::vector<std::string> paths = options.paths;
    CompileDatabase database;
    std::string databaseFile;
    std::optional<RunLookups> lookups;
    if (!options.buildDirectory.empty()) {
        std::string error;
        std::string& found = databaseFile;
        if (!findCompileDatabase(options.buildDirectory, found, error, tell) ||
            !database.load(found, error, vimbo::engine::includeFromEnvironment(), tell)) {
            Told(observer) << "vimbo: " << error << "\n";
            return 2;
        }
        batch.database = &database;
        lookups.emplace(database, compilerTrust(options, effective, databaseFile), includePath, options.jobs, observer);
        batch.lookups = &*lookups;
        if (const int stopped = interrupted()) return stopped;
    }
    const bool fromBuild =
        paths.empty() && batch.database && !options.pathsListed;
    if (fromBuild) {
        const DatabaseFiles built = databaseFiles(database, *lookups, options.gitIgnore, options.maxFileSize,
                                                  // Through a link (CMake's at the top): where the file is.
                                                  fs::weakly_canonical(databaseFile).parent_path().string());
        if (!built.gitProblem.empty()) {
            Told(observer) << "vimbo: " << built.gitProblem << "\n";
            return 2;
        }
        for (const std::string& missing : built.missing)
            Told(observer) << "vimbo: warning: " << missing << ": in the build's database but not on disk\n";
        if (built.outside > 0)
            Told(observer) << "vimbo: note: " << built.outside
                      << " sources of the build lie outside the current directory; left alone\n";
        if (built.generated > 0)
            Told(observer) << "vimbo: note: " << built.generated
                           << (built.generated == 1 ? " file lies" : " files lie")
                           << " in the build directory, made by the build; left alone (name them to take them)\n";
        if (!built.missing.empty() && options.strict) return 2;
        paths = built.files;
        if (paths.empty()) {
            Told(observer) << "vimbo: the build's database names no source inside the current directory\n";
            return 2;
        }
    }
    if (paths.empty()) {
        if (!options.listName.empty()) {
            Told(observer) << "vimbo: " << options.listName << ": names no file to take\n";
            return 2;
        }
        return usage(options.tree ? "--tree needs a directory or file" : "no file given");
    }
    if (!pathsUsable(paths, options.tree, observer)) return 2;
    if (options.verify && !batch.database) return usage("--verify needs -p DIR, the build whose units it checks");

    for (const std::string& removed : removeAbandonedMirrors())
        Told(observer) << "vimbo: note: " << removed
                       << ": removed the copy of a tree that a dry --verify run, since killed, left (its hard links "
                          "count as more names of the tree's files)\n";
    const SourceTree tree = filesOf(options, effective, paths, observer);
    // Taken as "nothing ignored", a refusal would rewrite what git ignores.
    for (const std::string& problem : tree.gitProblems) Told(observer) << "vimbo: " << problem << "\n";
    if (!tree.gitProblems.empty()) return 2;
    // Placed as a compiler places them, for editors and CI to point at.
    for (const std::string& error : configs.errors()) Told(observer) << error << "\n";
    if (!configs.errors().empty()) return 2;
    for (const std::string& warning : configs.warnings()) Told(observer) << warning << "\n";
    if (options.strict && !configs.warnings().empty()) return 2;
    // A pattern that matched nothing over a whole tree is likely mistyped.
    if (options.tree)
        for (const std::string& unmatched : effective.unmatchedExclusions())
            Told(observer) << "vimbo: note: " << unmatched << " excluded nothing\n";
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
    if (batch.database && !fromBuild) noteSourcesOutside(database, tree.files, observer);
    if (!batch.database) {
        lookups.emplace(compilerChoice(effective), tree.files, batch.includePathFor, options.jobs, observer);
        batch.lookups = &*lookups;
        if (const int stopped = interrupted()) return stopped;
        // The compiler's own directories are searched wherever it could be asked.
        if (!anySearchPath && lookups->guessed()) {
            Told(observer) << "vimbo: warning: no include search path (-i, -p, INCLUDE or " << kConfigFileName
                      << "): includes in angle brackets can't be found\n";
            if (options.strict) return 2;
        }
    }

    const int walkErrors = static_cast<int>(tree.errors.size());
    std::optional<vimbo::engine::TextInPlace> placed;
    if (!run.textsInPlace.empty()) {
        // The disk's text is what the compiler of a rewrite or a verification reads.
        if (batch.mode == vimbo::engine::BatchMode::rewrite || options.verify)
            return usage("texts in place of the files' own go with --check, --diff or --audit, without --verify");
        placed.emplace(run.textsInPlace, batch.fileSystem);
        if (!placed->placed()) {
            Told(observer) << "vimbo: the staged texts can't be read in place of the files'\n";
            return 2;
        }
        batch.fileSystem = &placed->ops();
    }
    if (run.givenText) {
        if (options.verify) return usage("--verify checks the build's own files, not standard input");
        if (options.tree || paths.size() != 1) return usage("standard input stands for one file: no --tree, no other file");
        // Left out by the configuration: the text stays as it is.
        if (tree.files.empty() || walkErrors) {
            if (walkErrors) return 2;
            observer.output(*run.givenText);
            return 0;
        }
        return runBuffer(batch, tree.files.front(), *run.givenText, tree.skipped, observer);
    }
    if (!options.verify) return runBatch(batch, tree.files, tree.skipped, walkErrors, observer);
    // What such a run rewrote stands unverified: a new run would find
    // nothing to do and say so, as if it had checked.
    std::vector<std::string> looked = tree.files;
    for (const auto& skipped : tree.skipped) looked.push_back(skipped.path);  // its twin may be a kept original
    const std::vector<std::string> leftBehind = originalsLeftBehind(looked);
    for (const std::string& folder : leftBehind)
        Told(observer) << "vimbo: " << folder
                       << ": originals kept by a --verify run that was cut short; what it rewrote was never "
                          "verified: put them back (its \"files\" names each one) or remove it\n";
    if (!leftBehind.empty()) {
        const bool dry = batch.mode != vimbo::engine::BatchMode::rewrite;
        Told(observer) << "vimbo: --verify: nothing was " << (dry ? "checked" : "rewritten") << "\n";
        return 2;
    }
    // The run stands only if every unit of the build still preprocesses to
    // the same text.
    VerifySettings verify;
    verify.database = &database;
    verify.jobs = options.jobs;
    verify.dryRun = batch.mode != vimbo::engine::BatchMode::rewrite;
    verify.showProgress = true;
    verify.observer = &observer;
    Verdict verdict;
    verify.verdict = &verdict;
    verify.files = tree.files;
    verify.backups = batch.rewrite.backup;
    verify.allowLineShift = options.allowLineShift;
    verify.allowUnverified = options.allowUnverified;
    verify.trust = compilerTrust(options, effective, databaseFile);
    // A report for tools tells what stands: a rewrite put back changed nothing.
    std::string report;
    bool putBack = false;
    if (batch.format != vimbo::engine::OutputFormat::text) batch.reportInto = &report;
    verify.onPutBack = [&] { putBack = true; };
    // What goes back is held to the version the rewrite left.
    std::map<std::string, vimbo::engine::FileVersion> written;
    batch.rewrite.noteVersions = !verify.dryRun;
    batch.written = &written;
    verify.written = &written;
    std::set<std::pair<std::uint64_t, std::uint64_t>> linkedAside;
    verify.linkedAside = &linkedAside;
    batch.linkedAside = &linkedAside;
    verify.summaryToStandardError = batch.format != vimbo::engine::OutputFormat::text;
    const int verified = runVerified(verify, [&](DryRunTexts* texts) {
        batch.dryRunTexts = texts;
        return runBatch(batch, tree.files, tree.skipped, walkErrors, observer);
    });
    if (batch.format != vimbo::engine::OutputFormat::text) {
        if (putBack || report.empty()) {
            batch.reportInto = nullptr;
            report = emptyReport(batch);
        }
        observer.output(withVerdict(report, batch.format, verdict));
    }
    return verified;
}

}  // namespace vimbo::batch

namespace vimbo::engine {

int runProject(const BatchRequest& request, const ProjectSettings& settings, BatchObserver& observer,
               std::string& usageProblem) {
    EffectiveSettings effective(settings, request.includePath);
    return runProject(request, effective, observer, usageProblem);
}

std::string documentWithout(OutputFormat format, BatchMode mode, Strip strip, const std::vector<std::string>& errors) {
    const FindingKind kind = mode == BatchMode::audit   ? FindingKind::audit
                             : strip == Strip::none     ? FindingKind::wrap
                                                        : FindingKind::strip;
    const bool dryRun = mode != BatchMode::rewrite;
    if (format == OutputFormat::json) return vimbo::batch::findingsJson({}, kind, dryRun);
    if (format != OutputFormat::sarif) return "";
    vimbo::batch::RunTrouble trouble;
    trouble.errors = errors;
    return vimbo::batch::findingsSarif({}, kind, dryRun, trouble);
}

int runProject(const BatchRequest& request, EffectiveSettings& settings, BatchObserver& observer,
               std::string& usageProblem) {
    return vimbo::batch::runProject(request, settings.state_->effective, settings.state_->configs, observer,
                                    usageProblem);
}

}  // namespace vimbo::engine
