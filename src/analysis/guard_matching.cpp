// Whether a macro tested in a header belongs to the header's file name: a
// greedy walk for the base name's characters among the macro's, underscores
// left out on both sides; at least a quarter of the compared ones must match.
#include "analysis/path_parts.h"
#include "interface/vimbo.h"

bool Vimbo::guardMatchesFile(std::string baseName, std::string macro) {
    if (macro == "__cplusplus") return false;
    macro = vimbo::analysis::upperCaseAscii(macro);
    std::string::size_type j = 0, i = 0;
    std::size_t compared = 0, matched = 0;
    while (j < baseName.size() && i < macro.size()) {
        if (baseName[j] == '_') {
            ++j;
        } else if (macro[i] == '_') {
            ++i;
        } else {
            ++compared;
            if (baseName[j] == macro[i]) {
                ++matched;
                ++j;
            }
            ++i;
        }
    }
    return matched >= compared / 4;
}
