#include "project/project_headers.h"

#include <filesystem>
#include <vector>

#include "project/git_access.h"

namespace fs = std::filesystem;

namespace vimbo::project {

namespace {
// The components a name gives, "/"-separated, without the "." and ".."
// that only say where the search starts.
std::string componentsOf(std::string name) {
    for (char& c : name)
        if (c == '\\') c = '/';
    std::vector<std::string> parts;
    std::size_t at = 0;
    while (at <= name.size()) {
        const std::size_t slash = std::min(name.find('/', at), name.size());
        const std::string part = name.substr(at, slash - at);
        if (part == "..") parts.clear();
        else if (!part.empty() && part != ".") parts.push_back(part);
        at = slash + 1;
    }
    std::string joined;
    for (const std::string& part : parts) joined += (joined.empty() ? "" : "/") + part;
    return joined;
}
}  // namespace

ProjectHeaders::ProjectHeaders(std::string top, std::size_t limit) : top_(std::move(top)), limit_(limit) {}

void ProjectHeaders::list() {
    listed_ = true;
    std::error_code error;
    std::size_t seen = 0;
    const fs::path top(top_.empty() ? "." : top_);
    // Links are not followed: what they lead to is someone else's.
    for (fs::recursive_directory_iterator it(top, fs::directory_options::skip_permission_denied, error), end;
         !error && it != end && seen < limit_; it.increment(error), ++seen) {
        const std::string name = it->path().filename().string();
        std::error_code kind;
        if (it->is_directory(kind)) {
            // git's own directory and the like hold no header of the project.
            if (!name.empty() && name[0] == '.') it.disable_recursion_pending();
            continue;
        }
        byFileName_.emplace(name, it->path().lexically_relative(top).generic_string());
    }
}

bool ProjectHeaders::has(const std::string& name) {
    std::lock_guard<std::mutex> hold(lock_);
    const auto known = answers_.find(name);
    if (known != answers_.end()) return known->second;
    const std::string wanted = componentsOf(name);
    bool found = false;
    if (!wanted.empty() && !fs::path(name).is_absolute()) {
        if (!listed_) list();
        const std::string fileName = wanted.substr(wanted.find_last_of('/') + 1);
        const auto [first, last] = byFileName_.equal_range(fileName);
        for (auto it = first; it != last && !found; ++it) {
            const std::string& path = it->second;
            found = path == wanted || (path.size() > wanted.size() &&
                                       path.compare(path.size() - wanted.size(), wanted.size(), wanted) == 0 &&
                                       path[path.size() - wanted.size() - 1] == '/');
        }
    }
    answers_.emplace(name, found);
    return found;
}

std::string projectTop() {
    const std::string top = workTreeAbove(".");
    return top.empty() ? "." : top;
}

}  // namespace vimbo::project
