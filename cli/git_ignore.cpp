#include "git_ignore.h"

#include "vimbo/engine/child_process.h"

namespace vimbo::cli {

std::vector<std::string> gitIgnored(const std::string& root, const std::vector<std::string>& files) {
    if (files.empty()) return {};
    using vimbo::platform::ChildProcess;
    using vimbo::platform::runChild;
    if (runChild(ChildProcess{{"git", "-C", root, "rev-parse", "--is-inside-work-tree"}, "", "", ""}).status != 0)
        return {};
    // The names go through a pipe, separated by NUL: any character a name
    // may hold (a blank, a quote, a line break) passes as it is.
    ChildProcess ask{{"git", "-C", root, "check-ignore", "-z", "--stdin"}, "", "", ""};
    for (const std::string& file : files) ask.input += file + '\0';
    ask.keep = std::string::npos;
    const vimbo::platform::ChildOutcome answer = runChild(ask);
    // Exit status 1 means that nothing is ignored.
    if (answer.status != 0) return {};
    return nulSeparated(answer.output);
}

std::vector<std::string> nulSeparated(const std::string& output) {
    std::vector<std::string> names;
    for (std::size_t at = 0; at < output.size();) {
        std::size_t end = output.find('\0', at);
        if (end == std::string::npos) end = output.size();
        if (end > at) names.push_back(output.substr(at, end - at));
        at = end + 1;
    }
    return names;
}

}  // namespace vimbo::cli
