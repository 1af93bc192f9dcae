#include "git_ignore.h"

#include "shell_command.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifndef _WIN32
#include <unistd.h>
#else
#include <process.h>
#endif

namespace fs = std::filesystem;

namespace vimbo::cli {
namespace {

#ifdef _WIN32
constexpr const char* kNoOutput = " >NUL 2>NUL";
#else
constexpr const char* kNoOutput = " >/dev/null 2>&1";
#endif

}  // namespace

std::vector<std::string> gitIgnored(const std::string& root, const std::vector<std::string>& files) {
    if (files.empty()) return {};
    const std::string git = "git -C " + shellQuoted(root);
    if (runShellCommand(git + " rev-parse --is-inside-work-tree" + kNoOutput) != 0) return {};

    std::error_code error;
    const fs::path scratch = fs::temp_directory_path(error) / ("vimbo-ignore-" + std::to_string(getpid()));
    if (error) return {};
    const std::string input = scratch.string() + ".in", output = scratch.string() + ".out";
    {
        std::ofstream list(input, std::ios::binary);
        for (const std::string& file : files) list << file << '\0';
    }
    // Exit status 1 means that nothing is ignored.
    const int status = runShellCommand(git + " check-ignore -z --stdin <" + shellQuoted(input) + " >" + shellQuoted(output));
    std::vector<std::string> ignored;
    if (status == 0) {
        std::ifstream result(output, std::ios::binary);
        std::string path;
        while (std::getline(result, path, '\0'))
            if (!path.empty()) ignored.push_back(path);
    }
    fs::remove(input, error);
    fs::remove(output, error);
    return ignored;
}

}  // namespace vimbo::cli
