// The batch-run settings that apply to a file, and where each comes from:
// the command line wins over the nearest .vimbo.toml, which wins over the
// default. Batch runs take the values; --print-config shows them with
// their sources.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "project/project_config.h"
#include "vimbo/engine/batch.h"
#include "vimbo/engine/effective_settings.h"

namespace vimbo::project {

using vimbo::engine::Sourced;

class EffectiveSettings {
public:
    // `commandLinePath`: the search path of -i (or else INCLUDE), ";"-joined.
    EffectiveSettings(vimbo::engine::ProjectSettings options, ProjectConfigs& configs, std::string commandLinePath)
        : options_(std::move(options)), configs_(configs), commandLinePath_(std::move(commandLinePath)) {}

    // Per file: from the configuration nearest to it.
    Sourced<std::string> searchPath(const std::string& path) const;  // ";"-joined
    Sourced<std::vector<std::string>> extensions(const std::string& path) const;
    Sourced<std::vector<std::string>> exclusions(const std::string& path) const;
    Sourced<std::vector<std::string>> precompiledHeaders(const std::string& path) const;
    // Command-line patterns are read from the root walked (or the current
    // directory for a file named), `relative`; a configuration's from its
    // own directory.
    bool excluded(const std::string& path, const std::string& relative) const;
    // The exclusions that matched none of the paths asked of excluded()
    // ("--exclude P", "FILE: exclude \"P\"").
    std::vector<std::string> unmatchedExclusions() const;

    // For the whole run: from the current directory's configuration.
    Sourced<std::string> compileCommands() const;
    // The compiler asked for its search list without a database: "" for
    // cc (C) and c++ (C++).
    Sourced<std::string> compiler() const;
    Sourced<bool> keepLines() const;
    Sourced<bool> strict() const;
    Sourced<std::uint64_t> maxFileSize() const;

private:
    vimbo::engine::ProjectSettings options_;
    ProjectConfigs& configs_;
    std::string commandLinePath_;
    mutable std::mutex usedLock_;
    mutable std::vector<bool> commandLineMatched_;
    // Per configuration file: its exclusions, and which matched.
    mutable std::map<std::string, std::pair<const std::vector<std::string>*, std::vector<bool>>> configMatched_;
};

}  // namespace vimbo::project

namespace vimbo::engine {

// What a front end's EffectiveSettings holds: the configurations, read as
// they are asked for, and the settings over them.
struct EffectiveSettings::State {
    State(ProjectSettings options, std::string commandLinePath)
        : effective(options, configs, std::move(commandLinePath)) {
        if (options.noConfig) configs.useNone();
        else if (!options.configFile.empty()) configs.useOnly(options.configFile);
    }
    vimbo::project::ProjectConfigs configs;
    vimbo::project::EffectiveSettings effective;
};

}  // namespace vimbo::engine
