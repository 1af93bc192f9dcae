// vimbo: builds the settings from the command line, prints their summary and
// runs the rewrite.
#include <cstdio>
#include <iostream>

#include "front_end_options.h"
#include "interface/summary.h"
#include "interface/vimbo.h"
#include "usage.h"

int main(int argc, char** argv) {
    using namespace vimbo::cli;
    const int count = argc > 0 ? argc - 1 : 0;
    const char* const* args = argc > 0 ? argv + 1 : argv;
    const FrontEndOptions options = readFrontEndOptions(count, args);
    if (!options.error.empty()) {
        std::cerr << "vimbo: " << options.error << " (try --help)\n";
        return 2;
    }
    if (options.help) {
        std::cout << kUsage;
        return 0;
    }
    if (options.version) {
        std::cout << kVersion;
        return 0;
    }

    Vimbo_Params settings(count - options.firstArgument, args + options.firstArgument);
    if (!options.quiet) writeSummary(std::cout, settings).flush();
    Vimbo processor(&settings);
    processor.run();
    std::cout.flush();
    return processor.failed() ? 1 : 0;
}
