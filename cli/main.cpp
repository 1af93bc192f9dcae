// vimbo: rewrites one file or line as the library does, or walks whole trees
// (--tree), checks (--check) or previews (--diff) without changing anything.
#include <iostream>

#include "batch_command.h"
#include "front_end_options.h"
#include "print_config.h"
#include "single_command.h"
#include "usage.h"
#include "vimbo/engine/batch.h"
#include "vimbo/engine/include_path.h"
#include "vimbo/engine/interruption.h"
#include "vimbo/engine/single_run.h"
#include "vimbo/engine/thrown.h"

using namespace vimbo::cli;
using vimbo::engine::joinIncludePaths;
using vimbo::engine::missingDirectories;

namespace {

// Options that need another, or exclude one: "" when the set is sound.
std::string misfit(const FrontEndOptions& options, bool batch) {
    if (options.standardInput && options.assumeFilename.empty())
        return "\"-\" reads the text from standard input: --assume-filename NAME names the file it stands for";
    if (!options.assumeFilename.empty() && !options.standardInput)
        return "--assume-filename goes with \"-\" (the text on standard input)";
    if (options.standardInput && (options.tree || options.audit || options.strip || options.stripWrong || options.verify ||
                                  !options.filesFrom.empty() || !options.since.empty() || options.staged ||
                                  options.check || options.diff || options.formatGiven))
        return "\"-\" takes one text and shows its new text whole: not with --check, --diff, --format, --tree, "
               "--audit, --strip, --verify, --since or other files";
    if (!options.extensions.empty() && !options.tree) return "--ext goes with --tree";
    if (options.breakLinks && !options.tree) return "--break-links goes with --tree";
    if (!options.exclusions.empty() && !batch) return "--exclude goes with --tree, --check, --diff, --audit or --strip";
    if (!options.gitIgnore && !options.tree && (options.buildDirectory.empty() || !batch))
        return "--no-git-ignore goes with --tree or -p";
    if ((options.formatGiven || options.verbose) && !batch)
        return std::string(options.verbose ? "--verbose" : "--format") + " goes with --check, --audit, --verify or --tree";
    if (options.changedLinesOnly && (options.audit || options.strip || options.stripWrong || !batch))
        return "--lines-since goes with --tree, --check or --diff";
    if ((!options.since.empty() || options.staged) && !batch)
        return std::string(options.staged ? "--staged" : "--since") + " goes with --tree, --check, --diff, --audit or --strip";
    if (!options.filesFrom.empty() && !batch) return "--files-from goes with --tree, --check or --diff";
    if (!options.buildDirectory.empty() && !batch) return "-p goes with --tree, --check, --diff, --audit or --strip";
    if (options.verify && !batch) return "--verify goes with --tree, --check, --diff or --strip";
    if (options.maxFileSize != 0 && !batch) return "--max-file-size goes with --tree, --check, --diff, --audit or --strip";
    if ((options.allowLineShift || options.allowUnverified) && !options.verify)
        return std::string(options.allowLineShift ? "--allow-line-shift" : "--allow-unverified") + " goes with --verify";
    if (options.keepLines && (!batch || options.audit || options.strip || options.stripWrong))
        return "--keep-lines goes with --tree, --check or --diff";
    return "";
}

int run(int argc, char** argv);

}  // namespace

// Whatever throws ends with a message and status 2, never in std::terminate
// (a batch run's files fail one by one before it comes to that).
int main(int argc, char** argv) {
    try {
        const int status = run(argc, argv);
        // What standard output was to show must all have gone out: a full
        // disk or a closed pipe never ends as a success.
        if (std::cout.flush()) return status;
        if (vimbo::platform::Interruption::outputClosed()) return status >= 128 ? status : 128 + 13;
        std::cerr << "vimbo: can't write to standard output; what it shows is incomplete\n";
        return status >= 128 ? status : 2;
    } catch (...) {
        const std::string what = vimbo::engine::thrownText(std::current_exception());
        std::cout.flush();
        std::cerr << "vimbo: " << what << "; the run stopped\n";
        return 2;
    }
}

namespace {

int run(int argc, char** argv) {
    const int count = argc > 0 ? argc - 1 : 0;
    const char* const* args = argc > 0 ? argv + 1 : argv;
    // Nothing to do: how to use it, as an error (a script called it wrongly).
    if (count == 0) {
        std::cerr << kUsage;
        return 2;
    }
    const FrontEndOptions options = readFrontEndOptions(count, args);
    if (!options.error.empty()) {
        if (options.format != vimbo::engine::OutputFormat::text)
            std::cout << vimbo::engine::documentWithout(options.format, vimbo::engine::BatchMode::check,
                                                        vimbo::engine::Strip::none, {options.error});
        return usageError(options.error);
    }
    if (options.help) {
        std::cout << kUsage;
        return 0;
    }
    if (options.version) {
        std::cout << kVersion;
        return 0;
    }
    if (!options.printConfig.empty() || options.printConfigLater) return printConfig(options);
    // Audits and strips are batch runs, over the files named as much as over trees.
    const bool batch = options.tree || options.check || options.diff || options.audit || options.strip ||
                       options.stripWrong || options.standardInput;
    const std::string problem = misfit(options, batch);
    if (!problem.empty()) {
        // Tools that asked for a document get one that says what was wrong.
        if (options.format != vimbo::engine::OutputFormat::text)
            std::cout << vimbo::engine::documentWithout(options.format, vimbo::engine::BatchMode::check,
                                                        vimbo::engine::Strip::none, {problem});
        return usageError(problem);
    }
    // The library's arguments, read once: -b, each -i, -t, the files.
    const vimbo::engine::ArgumentWords words =
        vimbo::engine::readArgumentWords(static_cast<int>(options.arguments.size()), options.arguments.data());
    // The library reads a third file as the output again; from a command
    // line that is a list, and its last file would be overwritten.
    if (!batch && !words.lineMode && words.files.size() > 2)
        return usageError("one FILE [OUTPUT] at a time; give a list of files to --tree");
    const std::string includePath = joinIncludePaths(words.includePaths, vimbo::engine::includeFromEnvironment());
    const std::vector<std::string> missing = missingDirectories(includePath);
    for (const std::string& entry : missing)
        std::cerr << "vimbo: warning: include directory " << entry << " does not exist\n";
    if (options.strict && !missing.empty()) return 2;
    return batch ? runBatchCommand(options, words, includePath, std::vector<std::string>(args, args + count))
                 : runSingleCommand(options, words, includePath);
}

}  // namespace
