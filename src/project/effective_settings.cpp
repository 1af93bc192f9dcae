#include "project/effective_settings.h"

#include <algorithm>
#include <memory>

#include "project/path_glob.h"
#include "project/source_tree.h"
#include "vimbo/engine/file_rewriter.h"

namespace vimbo::project {
namespace {

const char kCommandLine[] = "command line";
const char kDefault[] = "default";

// The command line's list when it gave one, else the configuration's, else the default.
Sourced<std::vector<std::string>> listOf(const std::vector<std::string>& given, const ProjectConfig& config,
                                         const std::optional<std::vector<std::string>>& configured,
                                         const std::vector<std::string>& defaults, const char* key) {
    if (!given.empty()) return {given, kCommandLine};
    if (configured) return {*configured, config.sourceOf(key)};
    return {defaults, kDefault};
}

Sourced<bool> flagOf(const std::optional<bool>& given, const ProjectConfig& here, const std::optional<bool>& configured,
                     const char* key) {
    if (given) return {*given, kCommandLine};
    if (configured) return {*configured, here.sourceOf(key)};
    return {false, kDefault};
}

}  // namespace

Sourced<std::string> EffectiveSettings::searchPath(const std::string& path) const {
    const ProjectConfig& config = configs_.forFile(path);
    if (options_.includeGiven || !config.searchPath) return {commandLinePath_, options_.includeGiven ? kCommandLine : "INCLUDE"};
    std::string joined;
    for (const std::string& entry : *config.searchPath) joined += (joined.empty() ? "" : ";") + entry;
    return {joined, config.sourceOf("search-path")};
}

Sourced<std::vector<std::string>> EffectiveSettings::extensions(const std::string& path) const {
    const ProjectConfig& config = configs_.forFile(path);
    return listOf(options_.extensions, config, config.extensions, kDefaultExtensions, "extensions");
}

Sourced<std::vector<std::string>> EffectiveSettings::exclusions(const std::string& path) const {
    const ProjectConfig& config = configs_.forFile(path);
    return listOf(options_.exclusions, config, config.exclude, {}, "exclude");
}

Sourced<std::vector<std::string>> EffectiveSettings::precompiledHeaders(const std::string& path) const {
    const ProjectConfig& config = configs_.forFile(path);
    return listOf(options_.precompiledHeaders, config, config.pch, {}, "pch");
}

bool EffectiveSettings::excluded(const std::string& path, const std::string& relative) const {
    if (!options_.exclusions.empty()) {
        std::lock_guard<std::mutex> hold(usedLock_);
        commandLineMatched_.resize(options_.exclusions.size());
        return excludedByPatterns(options_.exclusions, relative, &commandLineMatched_);
    }
    const ProjectConfig& config = configs_.forFile(path);
    if (!config.exclude) return false;
    std::lock_guard<std::mutex> hold(usedLock_);
    auto& [patterns, matched] = configMatched_[config.sourceOf("exclude")];
    if (!patterns) {
        patterns = &*config.exclude;
        matched.resize(patterns->size());
    }
    return excludedByConfig(config, path, &matched);
}

std::vector<std::string> EffectiveSettings::unmatchedExclusions() const {
    std::lock_guard<std::mutex> hold(usedLock_);
    std::vector<std::string> unmatched;
    for (std::size_t i = 0; i < commandLineMatched_.size(); ++i)
        if (!commandLineMatched_[i]) unmatched.push_back("--exclude " + options_.exclusions[i]);
    for (const auto& [file, used] : configMatched_)
        for (std::size_t i = 0; i < used.second.size(); ++i)
            if (!used.second[i]) unmatched.push_back(file + ": exclude \"" + (*used.first)[i] + "\"");
    return unmatched;
}

Sourced<std::string> EffectiveSettings::compileCommands() const {
    const ProjectConfig& here = configs_.forDirectory("");
    if (!options_.buildDirectory.empty()) return {options_.buildDirectory, kCommandLine};
    if (here.compileCommands) return {*here.compileCommands, here.sourceOf("compile-commands")};
    return {"", kDefault};
}

Sourced<std::string> EffectiveSettings::compiler() const {
    const ProjectConfig& here = configs_.forDirectory("");
    if (!options_.compiler.empty()) return {options_.compiler, kCommandLine};
    if (here.compiler) return {*here.compiler, here.sourceOf("compiler")};
    return {"", kDefault};
}

Sourced<bool> EffectiveSettings::keepLines() const {
    const ProjectConfig& here = configs_.forDirectory("");
    return flagOf(options_.keepLines, here, here.keepLines, "keep-lines");
}

Sourced<bool> EffectiveSettings::strict() const {
    const ProjectConfig& here = configs_.forDirectory("");
    return flagOf(options_.strict, here, here.strict, "strict");
}

Sourced<std::uint64_t> EffectiveSettings::maxFileSize() const {
    const ProjectConfig& here = configs_.forDirectory("");
    if (options_.maxFileSize != 0) return {options_.maxFileSize, kCommandLine};
    if (here.maxFileSize) return {*here.maxFileSize, here.sourceOf("max-file-size")};
    return {vimbo::engine::kDefaultMaxFileSize, kDefault};
}

}  // namespace vimbo::project

namespace vimbo::engine {

EffectiveSettings::EffectiveSettings(ProjectSettings settings, std::string includePath)
    : state_(std::make_unique<State>(std::move(settings), std::move(includePath))) {}
EffectiveSettings::~EffectiveSettings() = default;

Sourced<std::string> EffectiveSettings::searchPath(const std::string& path) const {
    return state_->effective.searchPath(path);
}
Sourced<std::vector<std::string>> EffectiveSettings::extensions(const std::string& path) const {
    return state_->effective.extensions(path);
}
Sourced<std::vector<std::string>> EffectiveSettings::exclusions(const std::string& path) const {
    return state_->effective.exclusions(path);
}
Sourced<std::vector<std::string>> EffectiveSettings::precompiledHeaders(const std::string& path) const {
    return state_->effective.precompiledHeaders(path);
}
Sourced<std::string> EffectiveSettings::compileCommands() const { return state_->effective.compileCommands(); }
Sourced<std::string> EffectiveSettings::compiler() const { return state_->effective.compiler(); }
Sourced<bool> EffectiveSettings::keepLines() const { return state_->effective.keepLines(); }
Sourced<bool> EffectiveSettings::strict() const { return state_->effective.strict(); }
Sourced<std::uint64_t> EffectiveSettings::maxFileSize() const { return state_->effective.maxFileSize(); }
std::vector<std::string> EffectiveSettings::errors() const { return state_->configs.errors(); }

}  // namespace vimbo::engine
