// What one pass of the rewriting loop found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vimbo::rewrite {

struct RewriteOutcome {
    bool changed = false;       // at least one include line was guarded
    bool ioError = false;       // a hard read or write error
    bool droppedText = false;   // text mode would lose text beyond the guards
    bool mayWrapMore = false;   // another pass over the output might guard more
    // The offsets in the input where the first line guarded began and the
    // last one ended; both UINT64_MAX when unknown (a text made in passes).
    std::uint64_t wrapsFrom = UINT64_MAX, wrapsTo = 0;
    // A "vimbo: off" mark that no "on" follows: its line and column (line
    // 0: none), which leaves every include after it alone.
    std::size_t unclosedOffLine = 0, unclosedOffColumn = 0;
};

// One include line a rewrite guards (or whose guard it takes away).
struct IncludeChange {
    std::size_t line = 0;    // in the input, from 1
    std::size_t column = 0;  // of the directive's first character, from 1
    std::string directive;   // the include line, without blanks around it
    std::string macro;
};

// An include line of the file whose header the search did not find.
struct UnfoundInclude {
    IncludeChange place;  // its line, column and text (no macro)
    std::string header;   // the name it gives
    bool quoted = false;
};

// The change at an include line: `origin`, its number in the input.
IncludeChange changeAt(std::string_view line, long origin, const std::string& macro);

}  // namespace vimbo::rewrite
