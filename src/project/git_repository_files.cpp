#include "project/git_repository_files.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace vimbo::project {
namespace {

// Far above any real one: the index of a tree of millions of files is a
// few hundred megabytes; configuration and ignore files are text.
constexpr std::uintmax_t kMaxIndex = std::uintmax_t{2} << 30;
constexpr std::uintmax_t kMaxText = std::uintmax_t{16} << 20;
constexpr int kMaxIncludeDepth = 10;  // as git's own limit

// "" when nothing stands at `path` or a regular file of at most `limit`
// bytes does (links followed, as the library follows them).
std::string problemWith(const fs::path& path, std::uintmax_t limit) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (!fs::exists(status)) return "";
    if (!fs::is_regular_file(status)) return path.string() + " is not a regular file";
    const std::uintmax_t size = fs::file_size(path, error);
    if (!error && size > limit) return path.string() + " is too large to be git's (" + std::to_string(size) + " bytes)";
    return "";
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A path a configuration names: "~/" is the home directory, a relative one
// lies beside the file that names it.
fs::path namedPath(std::string value, const fs::path& besides) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.rfind("~/", 0) == 0) {
        const char* home = std::getenv("HOME");
        return fs::path(home ? home : "") / value.substr(2);
    }
    const fs::path path(value);
    return path.is_absolute() ? path : besides / path;
}

// The files a configuration file names for the library to read: included
// configurations (include.path, includeIf.*.path, whatever the condition)
// and the excludes file.
void namedFiles(const fs::path& config, std::vector<fs::path>& configs, std::vector<fs::path>& others) {
    std::ifstream in(config);
    std::string line, section;
    while (std::getline(in, line)) {
        line = trimmed(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '[') {
            const auto end = line.find_first_of(" \t\"]", 1);
            section = lower(line.substr(1, end == std::string::npos ? std::string::npos : end - 1));
            const auto close = line.find(']');
            line = close == std::string::npos ? "" : trimmed(line.substr(close + 1));
            if (line.empty()) continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = lower(trimmed(line.substr(0, equals)));
        const std::string value = trimmed(line.substr(equals + 1));
        if (value.empty()) continue;
        if ((section == "include" || section == "includeif") && key == "path")
            configs.push_back(namedPath(value, config.parent_path()));
        else if (section == "core" && (key == "excludesfile" || key == "attributesfile"))
            others.push_back(namedPath(value, config.parent_path()));
    }
}

std::string configProblems(const fs::path& config, int depth) {
    if (std::string problem = problemWith(config, kMaxText); !problem.empty()) return problem;
    if (depth >= kMaxIncludeDepth) return "";
    std::vector<fs::path> configs, others;
    namedFiles(config, configs, others);
    for (const fs::path& other : others)
        if (std::string problem = problemWith(other, kMaxText); !problem.empty()) return problem;
    for (const fs::path& included : configs)
        if (std::string problem = configProblems(included, depth + 1); !problem.empty()) return problem;
    return "";
}

// The repository's own directory as the library finds it: ".git" in
// `start` or above, a directory or a file "gitdir: PATH".
bool gitDirectoryAbove(const fs::path& start, fs::path& gitDirectory, std::string& problem) {
    for (fs::path directory = start;; directory = directory.parent_path()) {
        const fs::path dotGit = directory / ".git";
        std::error_code error;
        const fs::file_status status = fs::status(dotGit, error);
        if (fs::is_directory(status)) {
            gitDirectory = dotGit;
            return true;
        }
        if (fs::exists(status)) {
            problem = problemWith(dotGit, kMaxText);
            if (!problem.empty()) return false;
            std::ifstream in(dotGit);
            std::string line;
            std::getline(in, line);
            if (line.rfind("gitdir:", 0) != 0) return false;
            gitDirectory = namedPath(trimmed(line.substr(7)), directory);
            return true;
        }
        if (directory == directory.parent_path() || directory.empty()) return false;
    }
}

std::string repositoryProblems(const fs::path& gitDirectory) {
    if (std::string problem = problemWith(gitDirectory / "index", kMaxIndex); !problem.empty()) return problem;
    for (const char* name : {"HEAD", "commondir", "info/exclude", "info/attributes", "config.worktree"})
        if (std::string problem = problemWith(gitDirectory / name, kMaxText); !problem.empty()) return problem;
    if (std::string problem = configProblems(gitDirectory / "config", 0); !problem.empty()) return problem;
    // A worktree's shared directory holds the configuration and the rules.
    std::ifstream in(gitDirectory / "commondir");
    std::string common;
    if (std::getline(in, common) && !trimmed(common).empty()) {
        const fs::path shared = namedPath(trimmed(common), gitDirectory);
        for (const char* name : {"info/exclude", "info/attributes"})
            if (std::string problem = problemWith(shared / name, kMaxText); !problem.empty()) return problem;
        return configProblems(shared / "config", 0);
    }
    return "";
}

}  // namespace

std::string unreadableRepositoryFile(const std::string& start, const char* gitDirectory) {
    if (const char* indexFile = std::getenv("GIT_INDEX_FILE"); indexFile && *indexFile)
        if (std::string problem = problemWith(indexFile, kMaxIndex); !problem.empty()) return problem;
    std::error_code error;
    if (gitDirectory) return repositoryProblems(fs::absolute(gitDirectory, error));
    fs::path found;
    std::string problem;
    const fs::path from = fs::absolute(start.empty() ? "." : start, error).lexically_normal();
    if (!gitDirectoryAbove(from, found, problem)) return problem;
    return repositoryProblems(found);
}

std::string unreadableDirectoryFile(const std::string& directory) {
    for (const char* name : {".gitignore", ".gitattributes"})
        if (std::string problem = problemWith(fs::path(directory) / name, kMaxText); !problem.empty()) return problem;
    return "";
}

}  // namespace vimbo::project
