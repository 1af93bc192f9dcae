// The files a source includes, for a front end that gathers the headers of
// a build's units.
#pragma once

#include <string>
#include <vector>

#include "vimbo/engine/file_rewriter.h"

namespace vimbo::engine {

// The files the include directives of `path` name, found as a compiler
// finds them with `lookup`; names not found (or made by a macro) are left out.
// A file larger than `maxFileSize` names none (a batch run skips it).
std::vector<std::string> includedFiles(const std::string& path, const Lookup& lookup,
                                       std::uint64_t maxFileSize = kDefaultMaxFileSize);

}  // namespace vimbo::engine
