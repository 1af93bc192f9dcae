#include "include_path.h"

#include <algorithm>
#include <filesystem>

#include "analysis/search_path.h"
#include "platform/file_system.h"

namespace vimbo::cli {

namespace {
#ifdef _WIN32
constexpr bool kColonSeparates = false;  // "C:\\x" is one entry
#else
constexpr bool kColonSeparates = true;   // the habit of PATH and CPATH
#endif
}  // namespace

std::string joinIncludePaths(const std::vector<std::string>& values, const std::string& fallback) {
    if (values.empty()) return fallback;
    std::string joined;
    for (const std::string& value : values)
        for (const std::string& entry : vimbo::analysis::searchPathEntries(value, kColonSeparates))
            joined += (joined.empty() ? "" : ";") + entry;
    return joined;
}

std::vector<std::string> missingDirectories(const std::string& searchPath) {
    std::vector<std::string> missing;
    for (const std::string& entry : vimbo::analysis::searchPathEntries(searchPath)) {
        std::error_code error;
        const bool directory = std::filesystem::is_directory(vimbo::platform::nativePath(entry), error);
        if (!directory && std::find(missing.begin(), missing.end(), entry) == missing.end()) missing.push_back(entry);
    }
    return missing;
}

}  // namespace vimbo::cli
