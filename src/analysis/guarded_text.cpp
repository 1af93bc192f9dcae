#include "analysis/guarded_text.h"

#include "analysis/source_scanner.h"

namespace vimbo::analysis {
namespace {
// Whether a block comment opened on this line is still open at its end.
bool leavesBlockCommentOpen(const std::string& line) {
    bool inBlock = false;
    for (std::string::size_type i = 0; i + 1 < line.size(); ++i) {
        if (!inBlock && line[i] == '/' && line[i + 1] == '/') return false;
        if (!inBlock && line[i] == '/' && line[i + 1] == '*') {
            inBlock = true;
            ++i;
        } else if (inBlock && line[i] == '*' && line[i + 1] == '/') {
            inBlock = false;
            ++i;
        }
    }
    return inBlock;
}
}  // namespace

std::string wrapIncludeLine(const std::string& line, const std::string& guard, const std::string& lastIfndef,
                            bool* changed) {
    if (guard.empty() || guard == lastIfndef) return line + "\n";
    // "#if !defined( X )" gives the guard " X ", and the test written for it
    // reads back as X: without this every run would wrap the line again.
    if (!lastIfndef.empty() && trimBlanks(guard) == lastIfndef) return line + "\n";
    // The "#endif" would land inside the comment and unbalance the file.
    if (leavesBlockCommentOpen(line)) return line + "\n";
    if (changed) *changed = true;
    return "#ifndef " + guard + "\n" + line + "\n#endif\n";
}

}  // namespace vimbo::analysis
