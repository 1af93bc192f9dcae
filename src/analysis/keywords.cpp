#include "analysis/keywords.h"

namespace vimbo::analysis {
// Namespace-scope objects of one file are constructed at load in the order
// written and destroyed at unload in reverse, which is the lifetime we want.
const std::string kIncludeKeyword = "#include";
const std::string kIfndefKeyword = "#ifndef";
const std::string kIfKeyword = "#if";
const std::string kDefinedKeyword = "!defined";
}  // namespace vimbo::analysis
