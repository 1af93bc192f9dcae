#include "project/git_access.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace vimbo::engine {

GitAnswer gitChangedNames(const std::string& revision, bool staged, std::string& top, std::vector<std::string>& names,
                          std::vector<LineRanges>* lines) {
    return vimbo::project::gitAccess().changed(revision, staged, top, names, lines);
}

GitAnswer gitIndexTexts(const std::vector<std::string>& files, std::vector<std::optional<std::string>>& texts) {
    return vimbo::project::gitAccess().indexTexts(files, texts);
}

GitAnswer gitUnlikeIndex(std::string& top, std::vector<std::string>& names) {
    return vimbo::project::gitAccess().unlikeIndex(top, names);
}

std::string workTreeAbove(const std::string& directory) {
    std::error_code error;
    fs::path at = fs::weakly_canonical(fs::absolute(directory.empty() ? "." : directory, error), error);
    if (error) return "";
    for (;;) {
        if (fs::exists(at / ".git", error)) return at.generic_string();
        if (!at.has_parent_path() || at.parent_path() == at) return "";
        at = at.parent_path();
    }
}

}  // namespace vimbo::engine
