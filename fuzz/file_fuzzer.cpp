// Arbitrary bytes as a whole source file, rewritten in place with a backup
// while a few headers are present. What must always hold:
//  - the result is 0 or 1, and no scratch file is left behind;
//  - a file with nothing guarded is untouched;
//  - a rewritten file, with the inserted "#ifndef"/"#endif" lines taken out,
//    is the input in text mode (carriage returns dropped, ended at a Ctrl-Z,
//    CR LF line ends), and so is its backup;
//  - a file that text mode would lose text of is left as it is.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_workspace.h"
#include "text_invariants.h"
#include "interface/vimbo_exports.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vimbo::fuzz::enterWorkspace("vimbo-file-fuzz");
    vimbo::fuzz::writeBytes("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    vimbo::fuzz::writeBytes("inc/b.h", "/* b */\n#if !defined( B_H )\n#define B_H\n#endif\n");
    vimbo::fuzz::writeBytes("inc/w.h", "#pragma once\n#include <a.h>\n");
    vimbo::fuzz::writeBytes("inc/c", "#ifndef C_H\t/* tab */\n");
    vimbo::fuzz::writeBytes("q.h", "#ifndef Q_H\r\n#define Q_H\r\n#endif\r\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    vimbo::fuzz::writeBytes("src.c", input);
    std::remove("src.Bak");

    const int result = Vimbo_File("inc", "src.c", 1);
    vimbo::fuzz::check(result == 0 || result == 1);
    vimbo::fuzz::check(!vimbo::fuzz::fileExists("$vb$tmp$.$$$"));

    const std::string after = vimbo::fuzz::readBytes("src.c");
    bool lossy = false;
    const std::vector<std::string> original = vimbo::invariants::textModeLines(input, lossy);
    if (result == 0 || lossy) {
        vimbo::fuzz::check(after == input);
        vimbo::fuzz::check(!vimbo::fuzz::fileExists("src.Bak"));
        return 0;
    }
    std::vector<std::string> rewritten;
    vimbo::fuzz::check(vimbo::invariants::writtenLines(after, rewritten));
    vimbo::fuzz::check(vimbo::invariants::onlyGuardsAdded(rewritten, original));
    vimbo::fuzz::check(vimbo::fuzz::readBytes("src.Bak") == vimbo::invariants::crlfText(original));
    return 0;
}
