// Following the macros that the file being rewritten tests, so that an
// include already standing under its own guard is not wrapped again.
#include "analysis/line_words.h"
#include "interface/vimbo.h"

namespace {
bool opensComment(std::string_view word) {
    return word.size() >= 2 && word[0] == '/' && (word[1] == '/' || word[1] == '*');
}
}  // namespace

void Vimbo::trackIfndef(const std::string& line) {
    vimbo::analysis::LineWords words(line);
    std::string macro;
    while (macro.empty() && !words.exhausted()) {
        std::string_view word = words.readWord();
        if (vimbo::analysis::readGuardTest(words, word, macro)) continue;
        // A comment opener ends the scan; a test behind it is commented out.
        if (opensComment(word)) break;
    }
    if (!macro.empty()) lastIfndefMacro = macro;
}
