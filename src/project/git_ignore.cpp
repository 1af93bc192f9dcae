#include "project/git_ignore.h"

#include <algorithm>

#include "project/git_access.h"

namespace vimbo::project {

IgnoredFiles gitIgnored(const std::string& root, const std::vector<std::string>& files) {
    IgnoredFiles result;
    if (files.empty()) return result;
    const GitAnswer answer = gitAccess().ignored(root, files, result.files);
    std::sort(result.files.begin(), result.files.end());
    const std::string where = root.empty() || root == "." ? "." : root;
    if (answer.status == GitStatus::refused) {
        const std::string top = workTreeAbove(root);
        result.problem = where + ": git won't read the repository at " + top +
                         ": another user owns it (dubious ownership); if you trust it: git config --global "
                         "--add safe.directory " + top + ", or take the files git ignores too: --no-git-ignore";
    } else if (answer.status == GitStatus::failed) {
        result.problem = where + ": can't learn which files git ignores (" + answer.message +
                         "); --no-git-ignore takes them all";
    }
    if (!result.problem.empty()) result.files.clear();
    return result;
}

}  // namespace vimbo::project
