// ".vimbo.toml": a project's batch-run settings, found upward from each file
// as clang-format finds ".clang-format", so that CI, the pre-commit hook and
// a shell run the same options without repeating them. The nearest file
// applies whole; options given on the command line win over it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vimbo::project {

extern const char kConfigFileName[];

struct ProjectConfig {
    std::string file;       // the file read ("" when none is above)
    std::string directory;  // its directory, where relative names start
    std::optional<std::vector<std::string>> searchPath;  // made absolute
    std::optional<std::string> compileCommands;          // made absolute
    std::optional<std::string> compiler;                 // a program name or path, as written
    std::optional<std::vector<std::string>> extensions, exclude, pch;
    std::optional<bool> keepLines, strict;
    std::optional<std::uint64_t> maxFileSize;
};

// Whether `path` (a file's path as the run names it) matches one of the
// configuration's exclusions, which are read from its directory.
bool excludedByConfig(const ProjectConfig& config, const std::string& path);

class ProjectConfigs {
public:
    // The configuration that applies to the files of `directory` ("" is the
    // current one). Safe from several threads; a file that can't be read is
    // an error, kept for errors().
    const ProjectConfig& forDirectory(const std::string& directory);
    const ProjectConfig& forFile(const std::string& path);
    std::vector<std::string> errors() const;

private:
    std::shared_ptr<const ProjectConfig> load(const std::string& absoluteDirectory);
    mutable std::mutex lock_;
    std::map<std::string, std::shared_ptr<const ProjectConfig>> byDirectory_;
    std::map<std::string, const ProjectConfig*> byName_;  // as the caller spelt the directory
    std::vector<std::string> errors_;
};

}  // namespace vimbo::project
