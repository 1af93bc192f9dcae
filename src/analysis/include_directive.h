// Reading the operand of an include directive.
#pragma once

#include <string>

#include "analysis/include_kind.h"

namespace vimbo::analysis {

// The name an include line gives and its kind, as parseIncludeDirective reads
// them; `delimited` tells whether the name stood in quotes or angle brackets
// (a bare name is a macro that the preprocessor expands).
std::string parseIncludeOperand(const std::string& line, IncludeKind& kind, bool& delimited);

}  // namespace vimbo::analysis
