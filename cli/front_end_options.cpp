#include "front_end_options.h"

#include <cstring>

namespace vimbo::cli {

FrontEndOptions readFrontEndOptions(int count, const char* const* args) {
    FrontEndOptions options;
    int i = 0;
    for (; i < count && std::strncmp(args[i], "--", 2) == 0; ++i) {
        const std::string option = args[i];
        if (option == "--") {
            ++i;
            break;
        }
        if (option == "--quiet") {
            options.quiet = true;
        } else if (option == "--help") {
            options.help = true;
        } else if (option == "--version") {
            options.version = true;
        } else {
            options.error = "unknown option '" + option + "'";
            break;
        }
    }
    options.firstArgument = i;
    return options;
}

}  // namespace vimbo::cli
