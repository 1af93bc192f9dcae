#include "usage.h"

namespace vimbo::cli {

const char kVersion[] = "vimbo 1.00\n";

const char kUsage[] =
    "Usage: vimbo [--quiet] [-b] [-i PATH] FILE [OUTPUT]\n"
    "       vimbo [--quiet] [-i PATH] -t LINE...\n"
    "\n"
    "Adds external include guards: every include line whose header has a guard\n"
    "macro is wrapped in #ifndef GUARD / #endif.\n"
    "\n"
    "  FILE          rewrite FILE in place through the scratch file \"$vb$tmp$.$$$\"\n"
    "                in the current directory; lines end in CR LF afterwards\n"
    "  OUTPUT        put the result over OUTPUT instead (it must exist already)\n"
    "  -b, -B        keep a copy of the old text as the .Bak sibling of FILE\n"
    "  -i, -I PATH   directories searched for <...> includes, separated by \";\"\n"
    "                (default: the INCLUDE environment variable)\n"
    "  -t, -T LINE   rewrite the line made of all remaining arguments and print it\n"
    "\n"
    "  --quiet       do not print the settings summary\n"
    "  --help        print this help\n"
    "  --version     print the version\n"
    "  --            end of these long options\n"
    "\n"
    "Quoted includes are looked for in the current directory only.\n"
    "Exit status: 0 when the run did what was asked (also when nothing needed\n"
    "guarding), 1 when it failed, 2 for a usage error.\n";

}  // namespace vimbo::cli
