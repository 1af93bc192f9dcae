#include "changed_files.h"

#include <filesystem>

#include "vimbo/engine/git_changes.h"

namespace fs = std::filesystem;

namespace vimbo::cli {

using vimbo::engine::GitAnswer;
using vimbo::engine::GitStatus;

namespace {

// What git's answer means for the run: false, with `error`, where it did not tell.
bool answered(const GitAnswer& answer, const std::string& option, std::string& error) {
    switch (answer.status) {
    case GitStatus::answered:
        return true;
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
        break;
    }
    error = option + ": " + answer.message;
    return false;
}

// git names them from the top of the work tree.
void fromCurrentDirectory(const std::string& top, const std::vector<std::string>& names, std::vector<std::string>& files) {
    std::error_code ignored;
    const fs::path root = fs::path(top);
    const fs::path current = fs::current_path(ignored);
    for (const std::string& name : names) {
        const fs::path absolute = (root / name).lexically_normal();
        const fs::path relative = absolute.lexically_relative(current);
        files.push_back((relative.empty() ? absolute : relative).generic_string());
    }
}

}  // namespace

bool gitChangedFiles(const std::string& since, bool staged, std::vector<std::string>& files, std::string& error,
                     std::vector<vimbo::engine::LineRanges>* lines) {
    std::string top;
    std::vector<std::string> names;
    const GitAnswer answer = vimbo::engine::gitChangedNames(since, staged, top, names, lines);
    if (!answered(answer, since.empty() ? "--staged" : (lines ? "--lines-since " : "--since ") + since, error))
        return false;
    fromCurrentDirectory(top, names, files);
    return true;
}

bool gitUnlikeIndex(std::vector<std::string>& files, std::string& error) {
    std::string top;
    std::vector<std::string> names;
    if (!answered(vimbo::engine::gitUnlikeIndex(top, names), "--staged", error)) return false;
    fromCurrentDirectory(top, names, files);
    return true;
}

}  // namespace vimbo::cli
