// Whether a macro tested in a header belongs to the header's file name.
#pragma once

#include <string>

namespace vimbo::analysis {

// A greedy walk for the base name's characters (passed upper-cased) among
// the macro's, underscores left out on both sides: at least a quarter of
// the macro characters compared must match. "__cplusplus" never does.
bool guardMatchesFile(const std::string& baseName, std::string macro);

}  // namespace vimbo::analysis
