// ".vimbo.toml": a project's batch-run settings, found upward from each file
// as clang-format finds ".clang-format", so that CI, the pre-commit hook and
// a shell run the same options without repeating them. The nearest file
// applies whole, or over its parent's with "inherit = true" (as
// InheritParentConfig); options given on the command line win over it.
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
    // "inherit = true": the parent's settings apply where this file sets none.
    bool inherit = false;
    // Where the exclusions are read from: this file's directory, or the one
    // whose file they were inherited from.
    std::string excludeDirectory;
    // The file each inherited setting comes from, by its key.
    std::map<std::string, std::string> inheritedFrom;
    // The file a setting of this configuration was read from.
    const std::string& sourceOf(const std::string& key) const {
        const auto found = inheritedFrom.find(key);
        return found == inheritedFrom.end() ? file : found->second;
    }
};

// Whether `path` (a file's path as the run names it) matches one of the
// configuration's exclusions, which are read from its directory. With
// `matched`, the exclusions that matched it are marked there.
bool excludedByConfig(const ProjectConfig& config, const std::string& path, std::vector<bool>* matched = nullptr);

class ProjectConfigs {
public:
    // Before the first question: `file` applies to every file, in place of
    // the files found upward (--config FILE)...
    void useOnly(const std::string& file) { only_ = file; }
    // ... or none does (--no-config).
    void useNone() { none_ = true; }

    // The configuration that applies to the files of `directory` ("" is the
    // current one). Safe from several threads; a file that can't be read is
    // an error, kept for errors().
    const ProjectConfig& forDirectory(const std::string& directory);
    const ProjectConfig& forFile(const std::string& path);
    std::vector<std::string> errors() const;
    // What is worth a warning: a file that leaves the search path empty
    // under a parent that set one.
    std::vector<std::string> warnings() const;

private:
    std::shared_ptr<const ProjectConfig> load(const std::string& absoluteDirectory);
    mutable std::mutex lock_;
    std::map<std::string, std::shared_ptr<const ProjectConfig>> byDirectory_;
    std::map<std::string, const ProjectConfig*> byName_;  // as the caller spelt the directory
    std::vector<std::string> errors_, warnings_;
    std::string only_;
    bool none_ = false;
    std::shared_ptr<const ProjectConfig> onlyConfig_;
};

}  // namespace vimbo::project
