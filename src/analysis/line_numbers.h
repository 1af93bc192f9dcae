// Wraps add lines, so __LINE__ and the line numbers of diagnostics move
// below them. "#line" directives written after each block of inserted lines
// give every original line its old number back.
#pragma once

#include <string>
#include <vector>

namespace vimbo::analysis {

// Where a line of a rewritten text came from: its number in the original
// text; 0 for a line the rewrite inserted; minus its number for an include
// line that now stands wrapped between two inserted lines.
using LineOrigins = std::vector<long>;

// The text with "#line N" directives added where lines were inserted: after
// each block of wraps, and after a conditional directive that ends a group
// holding inserted lines (a skipped group's "#line" does not count, its
// lines do). None is written where only blank lines and comments follow,
// outside a header's guard, or in a header that only forwards: the header
// keeps its guard (or stays a forwarder) as a compiler and the run read
// it. False, with `result` left
// alone, when the text names line numbers of its own ("#line" or a line
// marker) or a directive can't be placed before a line that needs one.
bool keepLineNumbers(const std::string& text, const LineOrigins& origins, std::string& result);

}  // namespace vimbo::analysis
