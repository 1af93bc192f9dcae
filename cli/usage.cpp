#include "usage.h"

namespace vimbo::cli {

const char kVersion[] = "vimbo 1.00\n";

const char kUsage[] =
    "Usage: vimbo [--quiet] [-b] [-i PATH] FILE [OUTPUT]\n"
    "       vimbo [--quiet] [-i PATH] -t LINE...\n"
    "       vimbo [-b] [-i PATH] --tree [--ext EXT]... DIR...\n"
    "       vimbo [-i PATH] --check|--diff [--tree [--ext EXT]...] FILE_OR_DIR...\n"
    "\n"
    "Adds external include guards: an include directive is wrapped in\n"
    "#ifndef GUARD / #endif when GUARD controls its whole header, so that\n"
    "skipping the header while GUARD is defined changes nothing.\n"
    "\n"
    "  FILE          rewrite FILE in place through the scratch file \"$vb$tmp$.$$$\"\n"
    "                in the current directory; lines end in CR LF afterwards\n"
    "  OUTPUT        put the result over OUTPUT instead (it must exist already)\n"
    "  -b, -B        keep a copy of the old text as the .Bak sibling of FILE\n"
    "  -i, -I PATH   directories searched for <...> includes, separated by \";\"\n"
    "                (default: the INCLUDE environment variable)\n"
    "  -t, -T LINE   rewrite the line made of all remaining arguments and print it\n"
    "\n"
    "  --tree        rewrite every C/C++ file under each DIR, each from its own\n"
    "                directory (so quoted includes are found beside it); hidden\n"
    "                directories and symbolic links are left alone\n"
    "  --ext EXT     with --tree: the extensions to take, instead of\n"
    "                .c .cc .cpp .cxx .h .hh .hpp .hxx .inl (repeatable)\n"
    "  --check       change nothing; list the files that would be rewritten\n"
    "  --diff        change nothing; print the rewrite as a unified diff\n"
    "                (apply it with patch -p1 or git apply)\n"
    "  --pch NAME    never wrap includes of NAME, the precompiled header\n"
    "                (besides stdafx.h and pch.h; repeatable)\n"
    "  --quiet       do not print the settings summary\n"
    "  --help        print this help\n"
    "  --version     print the version\n"
    "  --            end of these long options\n"
    "\n"
    "Quoted includes are looked for in the current directory only (in tree\n"
    "mode: the directory of the file).\n"
    "Exit status: 0 when the run did what was asked (also when nothing needed\n"
    "guarding), 1 when it failed, 2 for a usage error. With --check and --diff:\n"
    "0 nothing would change, 1 some files would be rewritten, 2 an error.\n";

}  // namespace vimbo::cli
