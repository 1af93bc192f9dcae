#include "print_config.h"

#include <iostream>

#include "vimbo/engine/arguments.h"
#include "vimbo/engine/effective_settings.h"
#include "vimbo/engine/file_size.h"
#include "vimbo/engine/include_path.h"
#include "vimbo/engine/paths.h"
#include "vimbo/engine/single_run.h"

namespace vimbo::cli {
namespace {

using vimbo::engine::Sourced;

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
    const vimbo::engine::ArgumentWords words = vimbo::engine::readArgumentWords(static_cast<int>(options.arguments.size()), options.arguments.data());
    const vimbo::engine::EffectiveSettings effective(
        commandLineSettingsOf(options),
        vimbo::engine::joinIncludePaths(words.includePaths, vimbo::engine::includeFromEnvironment()));
    const std::string& file = options.printConfig;
    const Sourced<std::string> searchPath = effective.searchPath(file);
    const Sourced<std::string> compileCommands = effective.compileCommands();
    const Sourced<std::string> compiler = effective.compiler();
    const Sourced<std::vector<std::string>> lists[] = {effective.extensions(file), effective.exclusions(file),
                                                       effective.precompiledHeaders(file)};
    const Sourced<bool> flags[] = {effective.keepLines(), effective.strict()};
    const Sourced<std::uint64_t> maxFileSize = effective.maxFileSize();
    const std::vector<std::string> errors = effective.errors();
    for (const std::string& error : errors) std::cerr << error << "\n";
    if (!errors.empty()) return 2;

    std::cout << "# settings for " << file << "\n";
    show("search-path", listOf(vimbo::engine::searchPathEntries(searchPath.value)), searchPath.from);
    // The run's own settings come from the current directory's file, whatever FILE's is.
    const auto global = [](const std::string& from) {
        return from == "command line" || from == "default" ? from : from + " (of the current directory)";
    };
    show("compile-commands", quoted(compileCommands.value), global(compileCommands.from));
    show("compiler", quoted(compiler.value), global(compiler.from));
    const char* const listKeys[] = {"extensions", "exclude", "pch"};
    for (std::size_t i = 0; i < 3; ++i) show(listKeys[i], listOf(lists[i].value), lists[i].from);
    const char* const flagKeys[] = {"keep-lines", "strict"};
    for (std::size_t i = 0; i < 2; ++i) show(flagKeys[i], flags[i].value ? "true" : "false", global(flags[i].from));
    show("max-file-size", quoted(vimbo::engine::fileSizeText(maxFileSize.value)), global(maxFileSize.from));
    return 0;
}

}  // namespace vimbo::cli
