// The batch-run settings that apply to a file, and where each comes from:
// the front end's own (ProjectSettings) win over the nearest .vimbo.toml,
// which wins over the default. A front end shows them (--print-config) or
// picks files by them before it hands them to runProject, so that each
// configuration file is read once for the whole run, and one that can't be
// read stops it whoever read it first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vimbo/engine/batch.h"

namespace vimbo::engine {

template <typename T>
struct Sourced {
    T value;
    std::string from;  // "command line", a configuration file's path, "INCLUDE", "default"
};

class EffectiveSettings {
public:
    // `includePath`: the search path of -i (or else INCLUDE), ";"-joined.
    EffectiveSettings(ProjectSettings settings, std::string includePath);
    ~EffectiveSettings();
    EffectiveSettings(const EffectiveSettings&) = delete;
    EffectiveSettings& operator=(const EffectiveSettings&) = delete;

    // Per file: from the configuration nearest to it.
    Sourced<std::string> searchPath(const std::string& path) const;  // ";"-joined
    Sourced<std::vector<std::string>> extensions(const std::string& path) const;
    Sourced<std::vector<std::string>> exclusions(const std::string& path) const;
    Sourced<std::vector<std::string>> precompiledHeaders(const std::string& path) const;

    // For the whole run: from the current directory's configuration.
    Sourced<std::string> compileCommands() const;
    // The compiler asked for its search list without a database: "" for
    // cc (C) and c++ (C++).
    Sourced<std::string> compiler() const;
    Sourced<bool> keepLines() const;
    Sourced<bool> strict() const;
    Sourced<std::uint64_t> maxFileSize() const;

    // A message for each configuration file asked for so far that could
    // not be read.
    std::vector<std::string> errors() const;

private:
    friend int runProject(const BatchRequest& request, EffectiveSettings& settings, BatchObserver& observer,
                          std::string& usageProblem);
    struct State;  // the project layer's
    std::unique_ptr<State> state_;
};

}  // namespace vimbo::engine
