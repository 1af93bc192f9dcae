// Comments that keep batch runs away from include lines, in the manner of
// "// clang-format off": "// vimbo: off" ... "// vimbo: on" around lines
// (both marked lines included), "// vimbo: keep" on one line; "/* */" works
// the same. A marked line is only ever left alone, so a mark read where it
// is no comment (inside a string) can cost a wrap, never change a unit.
#pragma once

#include <string_view>

namespace vimbo::analysis {

class OptOutTracker {
public:
    // Feed every line in order; true when this one is to be left alone.
    bool leaveAlone(std::string_view line);

private:
    bool off_ = false;
};

}  // namespace vimbo::analysis
