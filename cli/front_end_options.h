// The command's own long options. They come before the library's arguments
// and are never passed on to them.
#pragma once

#include <string>

namespace vimbo::cli {

struct FrontEndOptions {
    bool quiet = false;
    bool help = false;
    bool version = false;
    std::string error;    // set for an unknown option
    int firstArgument = 0;  // where the library's arguments begin
};

// Reads the long options at the front of args[0..count); "--" ends them.
FrontEndOptions readFrontEndOptions(int count, const char* const* args);

}  // namespace vimbo::cli
