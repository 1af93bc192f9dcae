#include "changed_files.h"

#include <filesystem>

#include "vimbo/engine/git_changes.h"

namespace fs = std::filesystem;

namespace vimbo::cli {

using vimbo::engine::GitAnswer;
using vimbo::engine::GitStatus;

bool gitChangedFiles(const std::string& since, bool staged, std::vector<std::string>& files, std::string& error,
                     std::vector<vimbo::engine::LineRanges>* lines) {
    std::string top;
    std::vector<std::string> names;
    const GitAnswer answer = vimbo::engine::gitChangedNames(since, staged, top, names, lines);
    const std::string option = since.empty() ? "--staged" : (lines ? "--lines-since " : "--since ") + since;
    switch (answer.status) {
    case GitStatus::answered:
        break;
    case GitStatus::noWorkTree:
        error = option + ": not inside a git work tree";
        return false;
    case GitStatus::refused: {
        const std::string above = vimbo::engine::workTreeAbove(".");
        error = option + ": git won't read the repository at " + above +
                ": another user owns it (dubious ownership); if you trust it: git config --global --add "
                "safe.directory " + above;
        return false;
    }
    case GitStatus::failed:
        error = option + ": " + answer.message;
        return false;
    }
    // git names them from the top of the work tree.
    std::error_code ignored;
    const fs::path root = fs::path(top);
    const fs::path current = fs::current_path(ignored);
    for (const std::string& name : names) {
        const fs::path absolute = (root / name).lexically_normal();
        const fs::path relative = absolute.lexically_relative(current);
        files.push_back((relative.empty() ? absolute : relative).generic_string());
    }
    return true;
}

}  // namespace vimbo::cli
