// vimbo: rewrites one file or line as the library does, or walks whole trees
// (--tree), checks (--check) or previews (--diff) without changing anything.
#include <iostream>

#include "batch_run.h"
#include "front_end_options.h"
#include "interface/summary.h"
#include "interface/vimbo.h"
#include "source_tree.h"
#include "usage.h"

namespace {

using namespace vimbo::cli;

int usageError(const std::string& message) {
    std::cerr << "vimbo: " << message << " (try --help)\n";
    return 2;
}

// One file or line, exactly as the library's own run does it.
int runSingle(const FrontEndOptions& options, const Vimbo_Params& given) {
    Vimbo_Params settings = given;
    if (!options.quiet) writeSummary(std::cout, settings).flush();
    Vimbo processor(&settings);
    for (const std::string& name : options.precompiledHeaders) processor.addPrecompiledHeader(name);
    processor.run();
    std::cout.flush();
    return processor.failed() ? 1 : 0;
}

int runMany(const FrontEndOptions& options, const Vimbo_Params& settings) {
    if (settings.inputMode() == 0) return usageError("--tree, --check and --diff take files, not -t");
    const std::vector<std::string> paths = fileArguments(options.arguments);
    if (paths.empty()) return usageError(options.tree ? "--tree needs a directory" : "no file given");

    BatchSettings batch;
    batch.mode = options.check ? BatchMode::check : options.diff ? BatchMode::diff : BatchMode::rewrite;
    batch.backup = settings.makeBackup() != 0;
    batch.includePath = settings.includePath();
    batch.precompiledHeaders = options.precompiledHeaders;
    if (!options.tree) return runBatch(batch, paths, {}, 0);

    const SourceTree tree = findSources(paths, options.extensions.empty() ? kDefaultExtensions : options.extensions,
                                        options.breakLinks);
    for (const std::string& error : tree.errors) std::cerr << "vimbo: " << error << "\n";
    batch.treeMode = true;
    batch.includePath = absoluteSearchPath(batch.includePath);
    return runBatch(batch, tree.files, tree.skipped, static_cast<int>(tree.errors.size()));
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 0 ? argc - 1 : 0;
    const char* const* args = argc > 0 ? argv + 1 : argv;
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
    const Vimbo_Params settings(static_cast<int>(options.arguments.size()), options.arguments.data());
    if (options.tree || options.check || options.diff) return runMany(options, settings);
    return runSingle(options, settings);
}
