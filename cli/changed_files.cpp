#include "changed_files.h"

#include <filesystem>

#include "git_ignore.h"
#include "vimbo/engine/child_process.h"

namespace fs = std::filesystem;

namespace vimbo::cli {
namespace {

std::string firstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

bool gitChangedFiles(const std::string& since, bool staged, std::vector<std::string>& files, std::string& error) {
    using vimbo::platform::ChildProcess;
    using vimbo::platform::runChild;
    const vimbo::platform::ChildOutcome top = runChild(ChildProcess{{"git", "rev-parse", "--show-toplevel"}, "", "", ""});
    if (!top.started || top.status != 0) {
        error = top.started ? "not inside a git work tree (" + firstLine(top.errors) + ")" : "can't run git";
        return false;
    }
    std::vector<std::string> arguments{"git", "-c", "core.quotepath=off", "diff", "--name-only", "-z",
                                       "--no-renames", "--diff-filter=ACMR"};
    if (staged) arguments.push_back("--cached");
    if (!since.empty()) arguments.push_back(since);
    // "--" keeps a revision that looks like a path from being read as one.
    arguments.push_back("--");
    ChildProcess ask{arguments, "", "", ""};
    ask.keep = std::string::npos;
    const vimbo::platform::ChildOutcome answer = runChild(ask);
    if (answer.status != 0) {
        error = "git diff" + (since.empty() ? std::string() : " " + since) + ": " + firstLine(answer.errors);
        return false;
    }
    // git names them from the top of the work tree.
    std::error_code ignored;
    const fs::path root = fs::path(firstLine(top.output));
    const fs::path current = fs::current_path(ignored);
    for (const std::string& name : nulSeparated(answer.output)) {
        const fs::path absolute = (root / name).lexically_normal();
        const fs::path relative = absolute.lexically_relative(current);
        files.push_back((relative.empty() ? absolute : relative).generic_string());
    }
    return true;
}

}  // namespace vimbo::cli
