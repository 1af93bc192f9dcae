// What a rewrite must preserve, checked independently of the rewriting code.
#pragma once

#include <string>
#include <vector>

namespace vimbo::invariants {

struct Line {
    std::string text;
    std::string ending;  // "\n", "\r\n", or "" for a last line without a break
};

// The lines of `bytes` with every byte kept: a line ends at a line feed, and
// a carriage return right before it belongs to the ending.
std::vector<Line> keptLines(const std::string& bytes);

// The lines text mode reads from `bytes` (carriage returns dropped, ended at
// a Ctrl-Z), each with the CR LF text mode writes after it; `lossy` tells
// whether reading threw text away.
std::vector<Line> textModeLines(const std::string& bytes, bool& lossy);

// The bytes of lines, each followed by its ending.
std::string joined(const std::vector<Line>& lines);

// Whether `original` is what remains of `rewritten` once some lines are taken
// out together with the "#ifndef ..." line before and the "#endif" after.
// The inserted lines end as the wrapped line ended; a wrapped last line
// without a break gains one (LF or CR LF) and "#endif" becomes the last line.
// With `justified`, a wrap counts only where justified(previous original
// line, guard line, wrapped line, next original line) holds.
using WrapCheck = bool (*)(const std::string* previous, const std::string& guardLine, const std::string& line,
                           const std::string* next);
bool onlyGuardsAdded(const std::vector<Line>& rewritten, const std::vector<Line>& original,
                     WrapCheck justified = nullptr);

}  // namespace vimbo::invariants
