// vimbo: rewrites one file or line as the library does, or walks whole trees
// (--tree), checks (--check) or previews (--diff) without changing anything.
#include <filesystem>
#include <fstream>
#include <iostream>

#include "batch_run.h"
#include "front_end_options.h"
#include "include_path.h"
#include "interface/argument_words.h"
#include "interface/summary.h"
#include "interface/vimbo.h"
#include "source_tree.h"
#include "usage.h"
#include "verified_run.h"

namespace {

using namespace vimbo::cli;
namespace fs = std::filesystem;

int usageError(const std::string& message) {
    std::cerr << "vimbo: " << message << " (try --help)\n";
    return 2;
}

bool exists(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

bool isDirectory(const std::string& path) {
    std::error_code error;
    return fs::is_directory(fs::status(path, error));
}

// One file or line, exactly as the library's own run does it. A FILE or
// OUTPUT that looks like a mistyped option and names nothing gets a hint;
// the library's own message stays as it is.
int runSingle(const FrontEndOptions& options, const ArgumentWords& words, const Vimbo_Params& given) {
    if (!words.lineMode)
        for (const std::string& word : options.unknownWords)
            if (!exists(word))
                std::cerr << "vimbo: " << word << " is taken as a file name; did you mean " << nearestOption(word)
                          << "? (try --help)\n";
    if (!words.lineMode && !words.files.empty() && isDirectory(words.files.front()))
        std::cerr << "vimbo: " << words.files.front() << " is a directory; --tree rewrites the files under it\n";
    Vimbo_Params settings = given;
    if (!options.quiet) writeSummary(std::cout, settings).flush();
    Vimbo processor(&settings);
    for (const std::string& name : options.precompiledHeaders) processor.addPrecompiledHeader(name);
    processor.run();
    std::cout.flush();
    return processor.failed() ? 1 : 0;
}

// One path per line; "-" reads standard input.
bool readFileList(const std::string& name, std::vector<std::string>& paths) {
    std::ifstream file;
    if (name != "-") {
        file.open(name, std::ios::binary);
        if (!file) return false;
    }
    std::istream& in = name == "-" ? std::cin : file;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) paths.push_back(line);
    }
    return !in.bad();
}

// Every path named must be there, and a directory needs --tree, before
// anything is read or written.
bool pathsUsable(const std::vector<std::string>& paths, bool tree) {
    bool usable = true;
    for (const std::string& path : paths) {
        if (!exists(path)) {
            std::cerr << "vimbo: " << path << ": no such file or directory\n";
            usable = false;
        } else if (!tree && isDirectory(path)) {
            std::cerr << "vimbo: " << path << ": is a directory; add --tree to take the files under it\n";
            usable = false;
        }
    }
    return usable;
}

int runMany(const FrontEndOptions& options, const ArgumentWords& words, const Vimbo_Params& settings) {
    if (words.lineMode) return usageError("--tree, --check, --diff, --audit and --strip take files, not -t");
    // A mistyped option must not be taken for a file: "-check" would rewrite
    // the tree that --check was meant to look at.
    if (!options.unknownWords.empty()) {
        const std::string& word = options.unknownWords.front();
        return usageError("unknown option '" + word + "'; did you mean " + nearestOption(word) + "?");
    }
    std::vector<std::string> paths = words.files;
    if (!options.filesFrom.empty() && !readFileList(options.filesFrom, paths)) {
        std::cerr << "vimbo: " << options.filesFrom << ": can't read the file list\n";
        return 2;
    }
    if (paths.empty())
        return usageError(options.tree ? "--tree needs a directory or file" : "no file given");
    if (!pathsUsable(paths, options.tree)) return 2;

    CompileDatabase database;
    BatchSettings batch;
    if (!options.buildDirectory.empty()) {
        std::string error, found;
        if (!findCompileDatabase(options.buildDirectory, found, error) || !database.load(found, error)) {
            std::cerr << "vimbo: " << error << "\n";
            return 2;
        }
        batch.database = &database;
    }
    batch.mode = options.audit   ? BatchMode::audit
                 : options.check ? BatchMode::check
                 : options.diff  ? BatchMode::diff
                                 : BatchMode::rewrite;
    batch.strip = options.strip ? WrapperStrip::all : options.stripWrong ? WrapperStrip::wrong : WrapperStrip::none;
    batch.backup = settings.makeBackup() != 0;
    batch.includePath = settings.includePath();
    batch.precompiledHeaders = options.precompiledHeaders;
    batch.jobs = options.jobs;
    batch.keepLines = options.keepLines;
    if (options.verify && !batch.database) return usageError("--verify needs -p DIR, the build whose units it checks");
    if (settings.includePath().empty() && !batch.database) {
        std::cerr << "vimbo: warning: no include search path (-i, -p or INCLUDE): includes in angle brackets "
                     "can't be found\n";
        if (options.strict) return 2;
    }
    // With --verify, the run stands only if every unit of the build still
    // preprocesses to the same text.
    const auto run = [&](const std::vector<std::string>& files, const std::vector<SkippedFile>& skipped, int errors) {
        if (!options.verify) return runBatch(batch, files, skipped, errors);
        VerifySettings verify;
        verify.database = &database;
        verify.jobs = options.jobs;
        verify.dryRun = batch.mode != BatchMode::rewrite;
        verify.showProgress = true;
        verify.files = files;
        verify.allowLineShift = options.allowLineShift;
        verify.allowUnverified = options.allowUnverified;
        return runVerified(verify, [&](DryRunTexts* texts) {
            batch.dryRunTexts = texts;
            return runBatch(batch, files, skipped, errors);
        });
    };
    if (!options.tree) return run(paths, {}, 0);

    WalkOptions walk;
    if (!options.extensions.empty()) walk.extensions = options.extensions;
    walk.breakLinks = options.breakLinks;
    walk.exclusions = options.exclusions;
    walk.gitIgnore = options.gitIgnore;
    const SourceTree tree = findSources(paths, walk);
    for (const std::string& error : tree.errors) std::cerr << "vimbo: " << error << "\n";
    batch.treeMode = true;
    return run(tree.files, tree.skipped, static_cast<int>(tree.errors.size()));
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 0 ? argc - 1 : 0;
    const char* const* args = argc > 0 ? argv + 1 : argv;
    // Nothing to do: how to use it, as an error (a script called it wrongly).
    if (count == 0) {
        std::cerr << kUsage;
        return 2;
    }
    const FrontEndOptions options = readFrontEndOptions(count, args);
    if (!options.error.empty()) return usageError(options.error);
    if (options.help) {
        std::cout << kUsage;
        return 0;
    }
    if (options.version) {
        std::cout << kVersion;
        return 0;
    }
    if (!options.extensions.empty() && !options.tree) return usageError("--ext goes with --tree");
    if (options.breakLinks && !options.tree) return usageError("--break-links goes with --tree");
    if ((!options.exclusions.empty() || !options.gitIgnore) && !options.tree)
        return usageError("--exclude and --no-git-ignore go with --tree");
    // Audits and strips are batch runs, over the files named as much as over trees.
    const bool many =
        options.tree || options.check || options.diff || options.audit || options.strip || options.stripWrong;
    if (!options.filesFrom.empty() && !many) return usageError("--files-from goes with --tree, --check or --diff");
    if (!options.buildDirectory.empty() && !many) return usageError("-p goes with --tree, --check or --diff");
    if (options.verify && !many) return usageError("--verify goes with --tree, --check, --diff or --strip");
    if ((options.allowLineShift || options.allowUnverified) && !options.verify)
        return usageError(std::string(options.allowLineShift ? "--allow-line-shift" : "--allow-unverified") +
                          " goes with --verify");
    if (options.keepLines && (!many || options.audit || options.strip || options.stripWrong))
        return usageError("--keep-lines goes with --tree, --check or --diff");
    const int argumentCount = static_cast<int>(options.arguments.size());
    const ArgumentWords words = readArgumentWords(argumentCount, options.arguments.data());
    // The library reads a third file as the output again; from a command
    // line that is a list, and its last file would be overwritten.
    if (!many && !words.lineMode && words.files.size() > 2)
        return usageError("one FILE [OUTPUT] at a time; give a list of files to --tree");
    Vimbo_Params settings(argumentCount, options.arguments.data());
    settings.setIncludePath(joinIncludePaths(words.includePaths, settings.includePath()));
    const std::vector<std::string> missing = missingDirectories(settings.includePath());
    for (const std::string& entry : missing)
        std::cerr << "vimbo: warning: include directory " << entry << " does not exist\n";
    if (options.strict && !missing.empty()) return 2;
    if (many) return runMany(options, words, settings);
    if (!words.lineMode && settings.includePath().empty()) {
        std::cerr << "vimbo: warning: no include search path (-i or INCLUDE): includes in angle brackets can't be "
                     "found\n";
        if (options.strict) return 2;
    }
    return runSingle(options, words, settings);
}
