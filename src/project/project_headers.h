// Whether a header an include line names but the search did not find is
// one of the project's own: a file of that name lies under the project's top
// (the git work tree around the current directory, else that directory).
// Such a line means a search path that misses a directory; a system header
// the search does not reach is no fault of the project.
#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

namespace vimbo::project {

class ProjectHeaders {
public:
    // `top` is listed once, on the first question; at most `limit` entries
    // are looked at (a top that is a home directory stays cheap).
    explicit ProjectHeaders(std::string top, std::size_t limit = 1000000);
    // Whether a file whose path ends in `name`'s components is there.
    bool has(const std::string& name);

private:
    void list();

    std::string top_;
    std::size_t limit_;
    bool listed_ = false;
    std::unordered_multimap<std::string, std::string> byFileName_;  // file name -> path under the top
    std::map<std::string, bool> answers_;
    std::mutex lock_;
};

// The top of the project a run in the current directory belongs to.
std::string projectTop();

}  // namespace vimbo::project
