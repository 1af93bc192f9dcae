// The rewrite of one file as a unified diff that patch -p1 and git apply
// turn into exactly the bytes file mode writes.
#pragma once

#include <string>

namespace vimbo::cli {

// "" when the two texts are the same.
std::string unifiedDiff(const std::string& path, const std::string& oldBytes, const std::string& newBytes);

}  // namespace vimbo::cli
