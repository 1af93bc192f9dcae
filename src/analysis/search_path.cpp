#include "analysis/search_path.h"

#include "platform/path_rules.h"
#include "vimbo/engine/paths.h"

namespace vimbo::analysis {
namespace {
bool isDriveLetterAt(const std::string& text, std::string::size_type start, std::string::size_type colon) {
    const char letter = text[start];
    return colon == start + 1 && ((letter >= 'a' && letter <= 'z') || (letter >= 'A' && letter <= 'Z')) &&
           colon + 1 < text.size() && (text[colon + 1] == '\\' || text[colon + 1] == '/');
}
}  // namespace

std::vector<std::string> searchPathEntries(const std::string& searchPath, bool colonSeparates) {
    std::vector<std::string> entries;
    std::string::size_type start = 0;
    while (start < searchPath.size()) {
        std::string::size_type end = start;
        while (end < searchPath.size() && searchPath[end] != ';' &&
               !(colonSeparates && searchPath[end] == ':' && !isDriveLetterAt(searchPath, start, end)))
            ++end;
        if (end == start) break;
        entries.push_back(searchPath.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

bool isAbsolutePath(const std::string& path) {
    return (path.size() >= 2 && path[1] == ':') || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

}  // namespace vimbo::analysis

namespace vimbo::engine {

std::vector<std::string> commandLineSearchPath(const std::string& value) {
    return vimbo::analysis::searchPathEntries(value, vimbo::platform::kColonSeparatesSearchPaths);
}

std::vector<std::string> searchPathEntries(const std::string& searchPath) {
    return vimbo::analysis::searchPathEntries(searchPath);
}

}  // namespace vimbo::engine
