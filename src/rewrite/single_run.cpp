// The single-file and line runs of the front end: the library's settings
// made of the words read once, its summary, and its own run.
#include "vimbo/engine/single_run.h"

#include <iostream>

#include "rewrite/processor.h"
#include "rewrite/summary.h"

namespace vimbo::engine {

bool runSingle(const SingleRun& run) {
    Vimbo_Params settings(run.words);
    settings.setIncludePath(run.includePath);
    if (run.summary) writeSummary(std::cout, settings).flush();
    RewriteOptions options;
    options.precompiledHeaders.insert(options.precompiledHeaders.end(), run.precompiledHeaders.begin(),
                                      run.precompiledHeaders.end());
    Vimbo processor(&settings, options);
    processor.run();
    std::cout.flush();
    return processor.failed();
}

// The library's own default, read where the settings read it.
std::string includeFromEnvironment() { return Vimbo_Params().includePath(); }

}  // namespace vimbo::engine
