// Reading the operand of an include directive.
#pragma once

#include <string>
#include <string_view>

#include "analysis/include_kind.h"

namespace vimbo::analysis {

// The name an include line gives and its kind, as the library reads them;
// `delimited` tells whether the name stood in closed quotes or angle
// brackets (a bare name is a macro that the preprocessor expands, and an
// unclosed one is an error the compiler reports).
std::string parseIncludeOperand(const std::string& line, IncludeKind& kind, bool& delimited);

// The header name an include directive's operand gives as a compiler reads
// it (`rest`: what follows the word "include", comments as blanks): in quotes
// or angle brackets, with nothing behind; false for a macro or anything else.
bool compilerHeaderName(std::string_view rest, std::string& name, bool& quoted);

// The header a line names as a compiler reads it, in any spelling of the
// directive ("# include", "%:include", comments between): what batch runs
// wrap, and so what --strip and --audit must know again. False for any line
// that is no include of a header name. The line is read on its own: one
// that starts inside a comment or literal is the caller's to leave out.
bool compilerIncludeName(std::string_view line, std::string& name, bool& quoted);

}  // namespace vimbo::analysis
