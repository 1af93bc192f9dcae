// Which files are C or C++ sources by their name, as the walk of a tree
// decides: a front end that gathers files itself (from git, say) takes
// the same ones.
#pragma once

#include <string>
#include <vector>

namespace vimbo::engine {

// Whether the file's extension is one of `extensions` (".c", ".h", ...),
// without regard to case (".H" is ".h").
bool hasSourceExtension(const std::string& path, const std::vector<std::string>& extensions);

}  // namespace vimbo::engine
