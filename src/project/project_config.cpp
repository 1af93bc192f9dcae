#include "project/project_config.h"

#include <filesystem>

// One translation unit compiles the TOML parser, so no library is linked.
#define TOML_HEADER_ONLY 1
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

#include "project/file_size.h"
#include "project/path_glob.h"
#include "vimbo/engine/whole_file.h"

namespace fs = std::filesystem;

namespace vimbo::project {

const char kConfigFileName[] = ".vimbo.toml";

namespace {

// A configuration is a few lines.
constexpr std::uint64_t kMaxConfigSize = std::uint64_t{1} << 20;

const char* const kKeys[] = {"search-path", "compile-commands", "compiler",      "extensions", "exclude",
                             "pch",         "keep-lines",       "strict",        "max-file-size", "inherit"};

fs::path absoluteDirectory(const std::string& directory) {
    std::error_code error;
    fs::path absolute = fs::absolute(directory.empty() ? fs::path(".") : fs::path(directory), error).lexically_normal();
    if (absolute.filename().empty() && absolute.has_parent_path()) absolute = absolute.parent_path();
    return absolute;
}

std::string fromDirectory(const fs::path& directory, const std::string& name) {
    const fs::path path(name);
    return (path.is_absolute() ? path : (directory / path)).lexically_normal().generic_string();
}

// A list of strings, or one string taken as a list of one.
bool readList(const toml::node& node, std::vector<std::string>& values) {
    if (const auto* text = node.as_string()) {
        values.push_back(text->get());
        return true;
    }
    const auto* array = node.as_array();
    if (!array) return false;
    for (const toml::node& item : *array) {
        const auto* text = item.as_string();
        if (!text) return false;
        values.push_back(text->get());
    }
    return true;
}

// "FILE:LINE:COLUMN: error: ", as a compiler places what it finds wrong.
std::string where(const std::string& file, const toml::source_region& source) {
    return file + ":" + std::to_string(source.begin.line) + ":" + std::to_string(source.begin.column) + ": error: ";
}

// The settings of one file; "" or the error.
std::string readConfig(const fs::path& path, ProjectConfig& config) {
    config.file = path.generic_string();
    config.directory = path.parent_path().generic_string();
    config.excludeDirectory = config.directory;
    std::string text;
    const vimbo::engine::WholeFile read = vimbo::engine::readRegularFile(path.string(), kMaxConfigSize, text);
    if (read != vimbo::engine::WholeFile::read)
        return config.file + ": error: can't read the configuration" +
               (read == vimbo::engine::WholeFile::notRegular ? " (not a regular file)"
                : read == vimbo::engine::WholeFile::tooLarge ? " (larger than " + fileSizeText(kMaxConfigSize) + ")"
                                                             : "");
    toml::table table;
    try {
        table = toml::parse(text, path.string());
    } catch (const toml::parse_error& error) {
        return where(config.file, error.source()) + std::string(error.description());
    }
    const fs::path directory = path.parent_path();
    for (const auto& [key, node] : table) {
        const std::string name(key.str());
        const std::string at = where(config.file, key.source());
        if (name == "inherit") {
            const auto* value = node.as_boolean();
            if (!value) return at + name + " takes true or false";
            config.inherit = value->get();
        } else if (name == "keep-lines" || name == "strict") {
            const auto* value = node.as_boolean();
            if (!value) return at + name + " takes true or false";
            (name == "strict" ? config.strict : config.keepLines) = value->get();
        } else if (name == "max-file-size") {
            // A number of bytes, or a string with a unit as on the command line.
            std::uint64_t bytes = 0;
            const auto* number = node.as_integer();
            const auto* written = node.as_string();
            if (number && number->get() > 0) bytes = static_cast<std::uint64_t>(number->get());
            else if (!written || !parseFileSize(written->get(), bytes))
                return at + "max-file-size takes a size: bytes, or a string such as \"64M\" (K, M or G)";
            config.maxFileSize = bytes;
        } else if (name == "compile-commands") {
            const auto* value = node.as_string();
            if (!value || value->get().empty()) return at + "compile-commands takes a directory";
            config.compileCommands = fromDirectory(directory, value->get());
        } else if (name == "compiler") {
            const auto* value = node.as_string();
            if (!value || value->get().empty()) return at + "compiler takes a program (\"gcc\", \"/usr/bin/clang\")";
            config.compiler = value->get();
        } else if (name == "search-path" || name == "extensions" || name == "exclude" || name == "pch") {
            std::vector<std::string> values;
            if (!readList(node, values)) return at + name + " takes a list of strings";
            if (name == "search-path") {
                for (std::string& value : values) value = fromDirectory(directory, value);
                config.searchPath = values;
            } else if (name == "extensions") {
                for (std::string& value : values)
                    if (value.empty() || value[0] != '.') value.insert(0, ".");
                config.extensions = values;
            } else {
                (name == "exclude" ? config.exclude : config.pch) = values;
            }
        } else {
            std::string known;
            for (const char* k : kKeys) known += std::string(known.empty() ? "" : ", ") + k;
            return at + "unknown key '" + name + "' (known: " + known + ")";
        }
    }
    return "";
}

}  // namespace

bool excludedByConfig(const ProjectConfig& config, const std::string& path, std::vector<bool>* matched) {
    if (!config.exclude || config.file.empty()) return false;
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error).lexically_normal();
    const std::string relative = absolute.lexically_relative(config.excludeDirectory).generic_string();
    return excludedByPatterns(*config.exclude, relative, matched);
}

namespace {
// `config` over `parent`: each setting it leaves out, the parent's.
template <typename T>
void take(ProjectConfig& config, const ProjectConfig& parent, std::optional<T> ProjectConfig::*setting, const char* key) {
    if (config.*setting || !(parent.*setting)) return;
    config.*setting = parent.*setting;
    config.inheritedFrom[key] = parent.sourceOf(key);
}

void inheritFrom(ProjectConfig& config, const ProjectConfig& parent) {
    take(config, parent, &ProjectConfig::searchPath, "search-path");
    take(config, parent, &ProjectConfig::compileCommands, "compile-commands");
    take(config, parent, &ProjectConfig::compiler, "compiler");
    take(config, parent, &ProjectConfig::extensions, "extensions");
    if (!config.exclude && parent.exclude) config.excludeDirectory = parent.excludeDirectory;
    take(config, parent, &ProjectConfig::exclude, "exclude");
    take(config, parent, &ProjectConfig::pch, "pch");
    take(config, parent, &ProjectConfig::keepLines, "keep-lines");
    take(config, parent, &ProjectConfig::strict, "strict");
    take(config, parent, &ProjectConfig::maxFileSize, "max-file-size");
}
}  // namespace

std::shared_ptr<const ProjectConfig> ProjectConfigs::load(const std::string& absolute) {
    auto found = byDirectory_.find(absolute);
    if (found != byDirectory_.end()) return found->second;
    const fs::path directory(absolute);
    std::error_code error;
    const fs::path candidate = directory / kConfigFileName;
    std::shared_ptr<const ProjectConfig> config;
    // A pipe or device by that name is a configuration that can't be read,
    // not one to look past.
    const fs::file_status status = fs::status(candidate, error);
    if (fs::exists(status) && !fs::is_directory(status)) {
        auto own = std::make_shared<ProjectConfig>();
        const std::string problem = readConfig(candidate, *own);
        if (!problem.empty()) errors_.push_back(problem);
        // The parent's, for what this one leaves out or drops unawares.
        const bool top = !directory.has_parent_path() || directory.parent_path() == directory;
        const std::shared_ptr<const ProjectConfig> parent =
            problem.empty() && !top ? load(directory.parent_path().generic_string()) : nullptr;
        if (parent && own->inherit) {
            inheritFrom(*own, *parent);
        } else if (parent && !own->searchPath && parent->searchPath && !parent->searchPath->empty()) {
            warnings_.push_back(own->file + ":1:1: warning: sets no search-path, so the files under it have none, " +
                                "where " + parent->file +
                                " gives one; add \"inherit = true\" to take the settings it leaves out from there");
        }
        config = std::move(own);
    } else if (directory.has_parent_path() && directory.parent_path() != directory) {
        // The parent's, shared: a tree has thousands of directories.
        config = load(directory.parent_path().generic_string());
    } else {
        config = std::make_shared<const ProjectConfig>();
    }
    return byDirectory_.emplace(absolute, std::move(config)).first->second;
}

const ProjectConfig& ProjectConfigs::forDirectory(const std::string& directory) {
    std::lock_guard<std::mutex> hold(lock_);
    if (none_ || !only_.empty()) {
        if (!onlyConfig_) {
            auto own = std::make_shared<ProjectConfig>();
            if (!none_) {
                const std::string problem = readConfig(fs::absolute(only_), *own);
                if (!problem.empty()) errors_.push_back(problem);
            }
            onlyConfig_ = std::move(own);
        }
        return *onlyConfig_;
    }
    // Every file of a directory asks for it, by the same spelling.
    const auto named = byName_.find(directory);
    if (named != byName_.end()) return *named->second;
    const ProjectConfig& config = *load(absoluteDirectory(directory).generic_string());
    byName_.emplace(directory, &config);
    return config;
}

const ProjectConfig& ProjectConfigs::forFile(const std::string& path) {
    return forDirectory(fs::path(path).parent_path().generic_string());
}

std::vector<std::string> ProjectConfigs::errors() const {
    std::lock_guard<std::mutex> hold(lock_);
    return errors_;
}

std::vector<std::string> ProjectConfigs::warnings() const {
    std::lock_guard<std::mutex> hold(lock_);
    return warnings_;
}

}  // namespace vimbo::project
