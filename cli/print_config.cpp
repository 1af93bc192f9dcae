#include "print_config.h"

#include <filesystem>
#include <iostream>

#include "usage.h"
#include "vimbo/engine/arguments.h"
#include "vimbo/engine/effective_settings.h"
#include "vimbo/engine/file_size.h"
#include "vimbo/engine/include_path.h"
#include "vimbo/engine/paths.h"
#include "vimbo/engine/single_run.h"

namespace vimbo::cli {
namespace {

namespace fs = std::filesystem;

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

// "key = value  # where from"; a value that is no setting ("" for "none")
// stays a comment, so that the text reads back as a .vimbo.toml.
void show(const std::string& key, const std::string& value, const std::string& from) {
    std::cout << (value == "\"\"" ? "# " : "") << key << " = " << value << "  # " << from << "\n";
}

// A directory as the printed file, saved here, names it: relative to the
// current directory.
std::string relativeName(const std::string& path) {
    std::error_code error;
    const fs::path current = fs::current_path(error);
    const fs::path relative = fs::path(path).lexically_relative(current);
    return error || relative.empty() ? path : relative.generic_string();
}

}  // namespace

int printConfig(const FrontEndOptions& options) {
    const vimbo::engine::ArgumentWords words = vimbo::engine::readArgumentWords(static_cast<int>(options.arguments.size()), options.arguments.data());
    const vimbo::engine::EffectiveSettings effective(
        commandLineSettingsOf(options),
        vimbo::engine::joinIncludePaths(words.includePaths, vimbo::engine::includeFromEnvironment()));
    if (options.printConfigLater && words.files.empty()) return usageError("--print-config needs a file");
    const std::string& file = options.printConfigLater ? words.files.front() : options.printConfig;
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
    std::vector<std::string> entries = vimbo::engine::searchPathEntries(searchPath.value);
    for (std::string& entry : entries) entry = relativeName(entry);
    show("search-path", listOf(entries), searchPath.from);
    // The run's own settings come from the current directory's file, whatever FILE's is.
    const auto global = [](const std::string& from) {
        return from == "command line" || from == "default" ? from : from + " (of the current directory)";
    };
    show("compile-commands", quoted(compileCommands.value.empty() ? "" : relativeName(compileCommands.value)),
         global(compileCommands.from));
    show("compiler", quoted(compiler.value), global(compiler.from));
    const char* const listKeys[] = {"extensions", "exclude", "pch"};
    for (std::size_t i = 0; i < 3; ++i) show(listKeys[i], listOf(lists[i].value), lists[i].from);
    const char* const flagKeys[] = {"keep-lines", "strict"};
    for (std::size_t i = 0; i < 2; ++i) show(flagKeys[i], flags[i].value ? "true" : "false", global(flags[i].from));
    show("max-file-size", quoted(vimbo::engine::fileSizeText(maxFileSize.value)), global(maxFileSize.from));
    return 0;
}

}  // namespace vimbo::cli
