#include "front_end_options.h"

#include <cstdlib>
#include <cstring>

namespace vimbo::cli {
namespace {
bool is(const char* argument, const char* lower, const char* upper) {
    return std::strcmp(argument, lower) == 0 || std::strcmp(argument, upper) == 0;
}

void addExtension(std::string extension, FrontEndOptions& options) {
    if (extension.empty() || extension[0] != '.') extension.insert(0, ".");
    options.extensions.push_back(extension);
}

// Returns how many of the following arguments the option took as its value.
int readLongOption(const std::string& option, const char* next, FrontEndOptions& options) {
    if (option == "--quiet") {
        options.quiet = true;
    } else if (option == "--help") {
        options.help = true;
    } else if (option == "--version") {
        options.version = true;
    } else if (option == "--tree") {
        options.tree = true;
    } else if (option == "--check") {
        options.check = true;
    } else if (option == "--diff") {
        options.diff = true;
    } else if (option == "--files-from") {
        if (!next || !*next) {
            options.error = "--files-from needs a file";
            return 0;
        }
        options.filesFrom = next;
        return 1;
    } else if (option.rfind("--files-from=", 0) == 0 && option.size() > 13) {
        options.filesFrom = option.substr(13);
    } else if (option == "--exclude") {
        if (!next || !*next) {
            options.error = "--exclude needs a pattern";
            return 0;
        }
        options.exclusions.push_back(next);
        return 1;
    } else if (option.rfind("--exclude=", 0) == 0 && option.size() > 10) {
        options.exclusions.push_back(option.substr(10));
    } else if (option == "--no-git-ignore") {
        options.gitIgnore = false;
    } else if (option == "--strict") {
        options.strict = true;
    } else if (option == "--break-links") {
        options.breakLinks = true;
    } else if (option == "--ext") {
        if (!next) {
            options.error = "--ext needs an extension";
            return 0;
        }
        addExtension(next, options);
        return 1;
    } else if (option.rfind("--ext=", 0) == 0) {
        addExtension(option.substr(6), options);
    } else if (option == "--pch") {
        if (!next || !*next) {
            options.error = "--pch needs a header name";
            return 0;
        }
        options.precompiledHeaders.push_back(next);
        return 1;
    } else if (option.rfind("--pch=", 0) == 0 && option.size() > 6) {
        options.precompiledHeaders.push_back(option.substr(6));
    } else {
        options.error = "unknown option '" + option + "'";
    }
    return 0;
}
}  // namespace

FrontEndOptions readFrontEndOptions(int count, const char* const* args) {
    FrontEndOptions options;
    int i = 0;
    for (; i < count && options.error.empty(); ++i) {
        const char* argument = args[i] ? args[i] : "";
        if (std::strcmp(argument, "--") == 0) {
            ++i;
            break;
        }
        if (is(argument, "-t", "-T")) break;
        // "-j N" or "-jN", as make takes it.
        if (std::strncmp(argument, "-j", 2) == 0) {
            const char* value = argument[2] ? argument + 2 : i + 1 < count ? args[++i] : nullptr;
            char* end = nullptr;
            const unsigned long jobs = value ? std::strtoul(value, &end, 10) : 0;
            if (!value || !*value || *end || jobs < 1 || jobs > 1024) {
                options.error = "-j needs a number of jobs from 1 to 1024";
                break;
            }
            options.jobs = static_cast<unsigned>(jobs);
            continue;
        }
        // "-p DIR", as other C and C++ tools take a build directory.
        if (std::strcmp(argument, "-p") == 0) {
            if (i + 1 >= count || !args[i + 1] || !*args[i + 1]) {
                options.error = "-p needs the directory of compile_commands.json";
                break;
            }
            options.buildDirectory = args[++i];
            continue;
        }
        if (std::strncmp(argument, "--", 2) == 0) {
            i += readLongOption(argument, i + 1 < count ? args[i + 1] : nullptr, options);
            continue;
        }
        options.arguments.push_back(argument);
        if (is(argument, "-i", "-I") && i + 1 < count) options.arguments.push_back(args[++i]);
    }
    for (; i < count; ++i) options.arguments.push_back(args[i] ? args[i] : "");
    if (options.check && options.diff) options.error = "--check and --diff exclude each other";
    return options;
}

}  // namespace vimbo::cli
