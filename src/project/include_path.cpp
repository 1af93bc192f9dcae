#include "vimbo/engine/include_path.h"

#include <algorithm>

#include "vimbo/engine/paths.h"

namespace vimbo::engine {

std::string joinIncludePaths(const std::vector<std::string>& values, const std::string& fallback) {
    if (values.empty()) return fallback;
    std::string joined;
    for (const std::string& value : values)
        for (const std::string& entry : vimbo::engine::commandLineSearchPath(value))
            joined += (joined.empty() ? "" : ";") + entry;
    return joined;
}

std::vector<std::string> missingDirectories(const std::string& searchPath) {
    std::vector<std::string> missing;
    for (const std::string& entry : vimbo::engine::searchPathEntries(searchPath))
        if (!vimbo::engine::isDirectory(entry) && std::find(missing.begin(), missing.end(), entry) == missing.end())
            missing.push_back(entry);
    return missing;
}

}  // namespace vimbo::engine
