// Comments that keep batch runs away from include lines, in the manner of
// "// clang-format off": "// vimbo: off" ... "// vimbo: on" around lines
// (both marked lines included), "// vimbo: keep" on one line,
// "// vimbo: keep-next-line" on the line after it; "/* */" works the same.
// A mark counts only where a comment begins, never inside a string or
// character literal.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace vimbo::analysis {

class OptOutTracker {
public:
    // Feed every line in order, with where its comments begin as the source
    // scanner found them; true when this one is to be left alone.
    bool leaveAlone(std::string_view line, const std::vector<std::size_t>& commentStarts);
    // Once every line is fed: the line and column of an "off" that no "on"
    // followed (line 0: none), which leaves the rest of the file alone.
    std::size_t unclosedOffLine() const { return off_ ? offLine_ : 0; }
    std::size_t unclosedOffColumn() const { return off_ ? offColumn_ : 0; }

private:
    bool off_ = false;
    bool keepNext_ = false;
    std::size_t line_ = 0, offLine_ = 0, offColumn_ = 0;
};

}  // namespace vimbo::analysis
