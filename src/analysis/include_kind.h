#pragma once

namespace vimbo::analysis {

// How an include directive names its header.
enum IncludeKind : int {
    includeNone = 0,    // no directive
    includeAngle = 1,   // <name> or a bare name
    includeQuoted = 2,  // "name"
};

}  // namespace vimbo::analysis
