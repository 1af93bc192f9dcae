#include "single_command.h"

#include <iostream>

#include "vimbo/engine/paths.h"
#include "vimbo/engine/single_run.h"

namespace vimbo::cli {

int runSingleCommand(const FrontEndOptions& options, const vimbo::engine::ArgumentWords& words, const std::string& includePath) {
    if (!words.lineMode) {
        // A FILE or OUTPUT that looks like a mistyped option and names
        // nothing gets a hint; the library's own message stays as it is.
        for (const std::string& word : options.unknownWords)
            if (!vimbo::engine::pathExists(word))
                std::cerr << "vimbo: " << word << " is taken as a file name; did you mean " << nearestOption(word)
                          << "? (try --help)\n";
        if (!words.files.empty() && vimbo::engine::isDirectory(words.files.front()))
            std::cerr << "vimbo: " << words.files.front() << " is a directory; --tree rewrites the files under it\n";
        if (includePath.empty()) {
            std::cerr << "vimbo: warning: no include search path (-i or INCLUDE): includes in angle brackets can't "
                         "be found\n";
            if (options.strict) return 2;
        }
    }
    vimbo::engine::SingleRun run;
    run.words = words;
    run.includePath = includePath;
    run.summary = !options.quiet;
    run.precompiledHeaders = options.precompiledHeaders;
    return vimbo::engine::runSingle(run) ? 1 : 0;
}

}  // namespace vimbo::cli
