#include "analysis/guard_matching.h"

#include "analysis/path_parts.h"

namespace vimbo::analysis {

bool guardMatchesFile(const std::string& baseName, std::string macro) {
    if (macro == "__cplusplus") return false;
    macro = upperCaseAscii(macro);
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

}  // namespace vimbo::analysis
