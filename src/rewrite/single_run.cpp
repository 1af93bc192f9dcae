// The single-file and line runs of the front end: the library's settings
// made of the words read once, its summary, and its own run.
#include "vimbo/engine/single_run.h"

#include <iostream>

#include "analysis/path_parts.h"
#include "platform/file_system.h"
#include "rewrite/processor.h"
#include "rewrite/summary.h"

using namespace vimbo::rewrite;

namespace vimbo::engine {

bool runSingle(const SingleRun& run) {
    Vimbo_Params settings(run.words);
    settings.setIncludePath(run.includePath);
    if (run.summary) writeSummary(std::cout, settings).flush();
    const RewriteOptions options = RewriteOptions::library(run.precompiledHeaders);
    // The output's directory is held for the run: a swap of it for a link
    // (as root, to anywhere) can't turn the commit's removal and rename there.
    vimbo::platform::HeldDirectory held(vimbo::platform::defaultFileSystemOps(),
                                        heldDirectoryOf(settings.outputFile()), nullptr, true);
    Vimbo processor(&settings, options, {}, held.ops());
    const FileRunResult result = processor.run();
    std::cout.flush();
    return result.failed();
}

// The library's own default, read where the settings read it.
std::string includeFromEnvironment() { return Vimbo_Params().includePath(); }

}  // namespace vimbo::engine
