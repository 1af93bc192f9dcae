#include "batch_command.h"

#include <fstream>
#include <iostream>

#include "batch_run.h"
#include "source_tree.h"
#include "usage.h"
#include "verified_run.h"
#include "vimbo/engine/paths.h"

namespace vimbo::cli {
namespace {

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
    batch.treeMode = options.tree;
    return batch;
}

// The files of the run: those named, and with --tree those under each directory.
SourceTree filesOf(const FrontEndOptions& options, const std::vector<std::string>& paths) {
    if (!options.tree) return SourceTree{paths, {}, {}};
    WalkOptions walk;
    if (!options.extensions.empty()) walk.extensions = options.extensions;
    walk.breakLinks = options.breakLinks;
    walk.exclusions = options.exclusions;
    walk.gitIgnore = options.gitIgnore;
    SourceTree tree = findSources(paths, walk);
    for (const std::string& error : tree.errors) std::cerr << "vimbo: " << error << "\n";
    return tree;
}

}  // namespace

int runBatchCommand(const FrontEndOptions& options, const ArgumentWords& words, const std::string& includePath) {
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
    if (paths.empty()) return usageError(options.tree ? "--tree needs a directory or file" : "no file given");
    if (!pathsUsable(paths, options.tree)) return 2;

    BatchSettings batch = batchSettingsOf(options, words, includePath);
    CompileDatabase database;
    if (!options.buildDirectory.empty()) {
        std::string error, found;
        if (!findCompileDatabase(options.buildDirectory, found, error) || !database.load(found, error)) {
            std::cerr << "vimbo: " << error << "\n";
            return 2;
        }
        batch.database = &database;
    }
    if (options.verify && !batch.database) return usageError("--verify needs -p DIR, the build whose units it checks");
    if (includePath.empty() && !batch.database) {
        std::cerr << "vimbo: warning: no include search path (-i, -p or INCLUDE): includes in angle brackets "
                     "can't be found\n";
        if (options.strict) return 2;
    }

    const SourceTree tree = filesOf(options, paths);
    const int walkErrors = static_cast<int>(tree.errors.size());
    if (!options.verify) return runBatch(batch, tree.files, tree.skipped, walkErrors);
    // The run stands only if every unit of the build still preprocesses to
    // the same text.
    VerifySettings verify;
    verify.database = &database;
    verify.jobs = options.jobs;
    verify.dryRun = batch.mode != BatchMode::rewrite;
    verify.showProgress = true;
    verify.files = tree.files;
    verify.allowLineShift = options.allowLineShift;
    verify.allowUnverified = options.allowUnverified;
    return runVerified(verify, [&](DryRunTexts* texts) {
        batch.dryRunTexts = texts;
        return runBatch(batch, tree.files, tree.skipped, walkErrors);
    });
}

}  // namespace vimbo::cli
