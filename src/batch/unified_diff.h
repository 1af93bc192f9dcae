// The rewrite of one file as a unified diff that patch -p1 and git apply
// turn into exactly the bytes file mode writes.
#pragma once

#include <string>

namespace vimbo::batch {

// "" when the two texts are the same. The path is given as patchPath gives it.
std::string unifiedDiff(const std::string& path, const std::string& oldBytes, const std::string& newBytes);

// A path as a patch names it: relative to the current directory, without
// "." or ".." components, "/" separators; one that lies outside the current
// directory is named from the top of the work tree around it (git apply
// takes it there), else from the root of its file system.
std::string patchPath(const std::string& path);

}  // namespace vimbo::batch
