// The macros that the file being rewritten tests, so that an include already
// standing under its own guard is not wrapped again.
#pragma once

#include <string>

namespace vimbo::analysis {

// The macro a line tests with "#ifndef" (or "#if !defined(...)"), standing
// as words of their own before any comment opener; "" when none. Every such
// test counts, a guard or not.
std::string testedMacro(const std::string& line);

}  // namespace vimbo::analysis
