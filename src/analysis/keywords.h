// The keyword strings that lines are matched against. They are built when the
// library is loaded, in this order, and released in reverse when it unloads.
#pragma once

#include <string>

namespace vimbo::analysis {
extern const std::string kIncludeKeyword;  // "#include"
extern const std::string kIfndefKeyword;   // "#ifndef"
extern const std::string kIfKeyword;       // "#if"
extern const std::string kDefinedKeyword;  // "!defined"
}  // namespace vimbo::analysis
