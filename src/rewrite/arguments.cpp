#include "vimbo/engine/arguments.h"

#include <cstring>

namespace vimbo::engine {

namespace {
bool isOption(const char* argument, char lower) {
    const char text[] = {'-', lower, '\0'};
    const char upper[] = {'-', static_cast<char>(lower - 'a' + 'A'), '\0'};
    return std::strcmp(argument, text) == 0 || std::strcmp(argument, upper) == 0;
}
}  // namespace

ArgumentWords readArgumentWords(int argc, const char* const* argv) {
    ArgumentWords words;
    if (!argv) argc = 0;
    for (int i = 0; i < argc; ++i) {
        const char* argument = argv[i] ? argv[i] : "";
        if (isOption(argument, 'b')) {
            words.backup = true;
        } else if (isOption(argument, 'i')) {
            if (i + 1 < argc) words.includePaths.push_back(argv[++i] ? argv[i] : "");
        } else if (isOption(argument, 't')) {
            words.lineMode = true;
            for (int j = i + 1; j < argc; ++j) {
                if (j > i + 1) words.line += ' ';
                words.line += argv[j] ? argv[j] : "";
            }
            break;
        } else {
            words.files.push_back(argument);
        }
    }
    return words;
}

}  // namespace vimbo::engine
