// Reading the operand of an include directive.
#pragma once

#include <string>

#include "analysis/include_kind.h"

namespace vimbo::analysis {

// The name an include line gives and its kind, as parseIncludeDirective reads
// them; `delimited` tells whether the name stood in closed quotes or angle
// brackets (a bare name is a macro that the preprocessor expands, and an
// unclosed one is an error the compiler reports).
std::string parseIncludeOperand(const std::string& line, IncludeKind& kind, bool& delimited);

}  // namespace vimbo::analysis
