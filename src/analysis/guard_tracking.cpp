#include "analysis/guard_tracking.h"

#include "analysis/line_words.h"

namespace vimbo::analysis {
namespace {
bool opensComment(std::string_view word) {
    return word.size() >= 2 && word[0] == '/' && (word[1] == '/' || word[1] == '*');
}
}  // namespace

std::string testedMacro(const std::string& line) {
    LineWords words(line);
    std::string macro;
    while (macro.empty() && !words.exhausted()) {
        std::string_view word = words.readWord();
        if (readGuardTest(words, word, macro)) continue;
        // A comment opener ends the scan; a test behind it is commented out.
        if (opensComment(word)) break;
    }
    return macro;
}

}  // namespace vimbo::analysis
