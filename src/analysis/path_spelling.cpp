#include "analysis/path_spelling.h"

namespace vimbo::analysis {

void toBackslashes(std::string& path) {
    for (char& c : path)
        if (c == '/') c = '\\';
}

std::string plainSpelling(std::string path) {
    toBackslashes(path);
    std::size_t start = 0;
    while (path.size() - start > 2 && path.compare(start, 2, ".\\") == 0) start += 2;
    return path.substr(start);
}

}  // namespace vimbo::analysis
