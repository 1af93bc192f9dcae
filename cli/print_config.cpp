#include "print_config.h"

#include <iostream>

#include "include_path.h"
#include "project_config.h"
#include "source_tree.h"
#include "vimbo/engine/arguments.h"
#include "vimbo/engine/paths.h"
#include "vimbo/engine/single_run.h"

namespace vimbo::cli {
namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string listOf(const std::vector<std::string>& values) {
    std::string out = "[";
    for (const std::string& value : values) out += (out.size() > 1 ? ", " : "") + quoted(value);
    return out + "]";
}

void show(const std::string& key, const std::string& value, const std::string& from) {
    std::cout << key << " = " << value << "  # " << from << "\n";
}

}  // namespace

int printConfig(const FrontEndOptions& options) {
    ProjectConfigs configs;
    const ProjectConfig& config = configs.forFile(options.printConfig);
    const ProjectConfig& here = configs.forDirectory("");
    for (const std::string& error : configs.errors()) std::cerr << "vimbo: " << error << "\n";
    if (!configs.errors().empty()) return 2;
    const std::string file = config.file.empty() ? "default" : config.file;
    const std::string global = here.file.empty() ? "default" : here.file + " (of the current directory)";
    const std::string line = "command line";
    std::cout << "# settings for " << options.printConfig << "\n";

    const ArgumentWords words = readArgumentWords(static_cast<int>(options.arguments.size()), options.arguments.data());
    const std::string given = joinIncludePaths(words.includePaths, "");
    if (options.includeGiven) show("search-path", listOf(vimbo::engine::searchPathEntries(given)), line);
    else if (config.searchPath) show("search-path", listOf(*config.searchPath), file);
    else show("search-path", listOf(vimbo::engine::searchPathEntries(vimbo::engine::includeFromEnvironment())), "INCLUDE");

    if (!options.buildDirectory.empty()) show("compile-commands", quoted(options.buildDirectory), line);
    else if (here.compileCommands) show("compile-commands", quoted(*here.compileCommands), global);
    else show("compile-commands", "\"\"", "default");

    const auto list = [&](const char* key, bool fromLine, const std::vector<std::string>& lineValues,
                          const std::optional<std::vector<std::string>>& configValues,
                          const std::vector<std::string>& defaults) {
        if (fromLine) show(key, listOf(lineValues), line);
        else if (configValues) show(key, listOf(*configValues), file);
        else show(key, listOf(defaults), "default");
    };
    list("extensions", options.extensionsGiven, options.extensions, config.extensions, kDefaultExtensions);
    list("exclude", options.exclusionsGiven, options.exclusions, config.exclude, {});
    list("pch", options.pchGiven, options.precompiledHeaders, config.pch, {});

    const auto flag = [&](const char* key, bool fromLine, const std::optional<bool>& value) {
        if (fromLine) show(key, "true", line);
        else if (value) show(key, *value ? "true" : "false", global);
        else show(key, "false", "default");
    };
    flag("keep-lines", options.keepLines, here.keepLines);
    flag("strict", options.strict, here.strict);
    return 0;
}

}  // namespace vimbo::cli
