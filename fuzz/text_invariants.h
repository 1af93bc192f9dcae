// What a rewrite must preserve, checked independently of the rewriting code.
#pragma once

#include <string>
#include <vector>

namespace vimbo::invariants {

// The lines text mode reads from `bytes` (carriage returns dropped, ended at
// a Ctrl-Z); `lossy` tells whether that threw text away.
std::vector<std::string> textModeLines(const std::string& bytes, bool& lossy);

// The bytes of those lines as text mode writes them, each ending in CR LF.
std::string crlfText(const std::vector<std::string>& lines);

// The lines of a file written in text mode; false if a line break is not CR LF.
bool writtenLines(const std::string& bytes, std::vector<std::string>& lines);

// Whether `original` is what remains of `rewritten` once some lines are taken
// out together with the "#ifndef ..." line before and the "#endif" after.
// With `justified`, a wrap counts only where justified(previous original line,
// guard line, wrapped line, next original line) holds.
using WrapCheck = bool (*)(const std::string* previous, const std::string& guardLine, const std::string& line,
                           const std::string* next);
bool onlyGuardsAdded(const std::vector<std::string>& rewritten, const std::vector<std::string>& original,
                     WrapCheck justified = nullptr);

}  // namespace vimbo::invariants
