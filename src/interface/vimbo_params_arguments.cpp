// Settings from command-line style arguments.
#include <cstring>

#include "interface/vimbo_params.h"

namespace {
bool isOption(const char* argument, char lower) {
    const char text[] = {'-', lower, '\0'};
    const char upper[] = {'-', static_cast<char>(lower - 'a' + 'A'), '\0'};
    return std::strcmp(argument, text) == 0 || std::strcmp(argument, upper) == 0;
}
}  // namespace

Vimbo_Params::Vimbo_Params(int argc, const char* const* argv) : Vimbo_Params() {
    bool haveInput = false;
    if (!argv) argc = 0;
    for (int i = 0; i < argc; ++i) {
        const char* argument = argv[i] ? argv[i] : "";
        if (isOption(argument, 'b')) {
            setBackup();
        } else if (isOption(argument, 'i')) {
            if (i + 1 < argc) setIncludePath(argv[++i] ? argv[i] : "");
        } else if (isOption(argument, 't')) {
            std::string line;
            for (int j = i + 1; j < argc; ++j) {
                if (j > i + 1) line += ' ';
                line += argv[j] ? argv[j] : "";
            }
            setLineText(line);
            break;
        } else if (!haveInput) {
            setInputFile(argument);
            haveInput = true;
        } else {
            setOutputFile(argument);
        }
    }
}
