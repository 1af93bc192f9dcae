// The lines of an external include guard: "#ifndef M" (or "#if !defined(M)")
// on the line before an include directive and "#endif" on the line after,
// as vimbo writes them and as people write them by hand.
#pragma once

#include <string>
#include <string_view>

namespace vimbo::analysis {

// The macro a directive tests for being undefined, as "#ifndef M",
// "#if !defined(M)" or "#if !defined M" with nothing else on the line; ""
// for any other line. `code` has its comments as blanks.
std::string wrapperOpening(std::string_view code);

// Whether a line is "#endif" with nothing else (comments as blanks).
bool wrapperClosing(std::string_view code);

// Whether a macro is named after the header file `name` (as an include
// names it): FOO_H, MY_FOO_H_, FOO_H_INCLUDED for foo.h, BOOST_CONFIG_HPP for
// boost/config.hpp. Only names with an extension count: "#ifndef
// BOOST_NO_STD_LOCALE" before "#include <locale>" tests a feature.
bool macroNamesHeader(std::string_view macro, std::string_view name);

}  // namespace vimbo::analysis
