#include "front_end_options.h"

#include <cstdlib>
#include <cctype>
#include <cstring>
#include <algorithm>
#include <memory>
#include <utility>

#include "vimbo/engine/file_size.h"

namespace vimbo::cli {

using vimbo::engine::parseFileSize;
namespace {
bool is(const char* argument, const char* lower, const char* upper) {
    return std::strcmp(argument, lower) == 0 || std::strcmp(argument, upper) == 0;
}

void addExtension(std::string extension, FrontEndOptions& options) {
    if (extension.empty() || extension[0] != '.') extension.insert(0, ".");
    options.extensions.push_back(extension);
}

// Options that take a value, as "--name VALUE" or "--name=VALUE".
struct ValuedOption {
    const char* name;
    const char* missing;  // the usage error when no value comes
    bool emptyAllowed;
    void (*apply)(FrontEndOptions& options, const std::string& value);
};

const ValuedOption kValuedOptions[] = {
    {"--ext", "--ext needs an extension", true, [](FrontEndOptions& o, const std::string& v) { addExtension(v, o); }},
    {"--pch", "--pch needs a header name", false,
     [](FrontEndOptions& o, const std::string& v) { o.precompiledHeaders.push_back(v); }},
    {"--compiler", "--compiler needs a program", false,
     [](FrontEndOptions& o, const std::string& v) { o.compiler = v; }},
    {"--files-from", "--files-from needs a file", false, [](FrontEndOptions& o, const std::string& v) { o.filesFrom = v; }},
    {"--exclude", "--exclude needs a pattern", false,
     [](FrontEndOptions& o, const std::string& v) { o.exclusions.push_back(v); }},
    {"--format", "--format needs text, json or sarif", false,
     [](FrontEndOptions& o, const std::string& v) {
         o.formatGiven = true;
         if (v == "text") o.format = vimbo::engine::OutputFormat::text;
         else if (v == "json") o.format = vimbo::engine::OutputFormat::json;
         else if (v == "sarif") o.format = vimbo::engine::OutputFormat::sarif;
         else o.error = "--format takes text, json or sarif, not '" + v + "'";
     }},
    {"--color", "--color needs auto, always or never", false,
     [](FrontEndOptions& o, const std::string& v) {
         if (v == "auto") o.colour = ColourChoice::automatic;
         else if (v == "always") o.colour = ColourChoice::always;
         else if (v == "never") o.colour = ColourChoice::never;
         else o.error = "--color takes auto, always or never, not '" + v + "'";
     }},
    {"--max-file-size", "--max-file-size needs a size", false,
     [](FrontEndOptions& o, const std::string& v) {
         if (!parseFileSize(v, o.maxFileSize))
             o.error = "--max-file-size takes a size in bytes, or with K, M or G (64M), not '" + v + "'";
     }},
    {"--since", "--since needs a git revision", false,
     [](FrontEndOptions& o, const std::string& v) {
         // git would take such a word for one of its options (--output=FILE writes FILE).
         if (v[0] == '-') o.error = "--since takes a git revision, not '" + v + "' (no revision begins with '-')";
         else o.since = v;
     }},
    {"--lines-since", "--lines-since needs a git revision", false,
     [](FrontEndOptions& o, const std::string& v) {
         if (v[0] == '-') o.error = "--lines-since takes a git revision, not '" + v + "' (no revision begins with '-')";
         // The lines are the work tree's: a range's end would number other text.
         if (v.find("..") != std::string::npos)
             o.error = "--lines-since takes one revision, which the work tree is compared with, not a range ('" + v + "')";
         o.since = v;
         o.changedLinesOnly = true;
     }},
    {"--print-config", "--print-config needs a file", false,
     [](FrontEndOptions& o, const std::string& v) { o.printConfig = v; }},
    {"--config", "--config needs a file", false, [](FrontEndOptions& o, const std::string& v) { o.configFile = v; }},
    {"--assume-filename", "--assume-filename needs the name of the file standard input stands for", false,
     [](FrontEndOptions& o, const std::string& v) { o.assumeFilename = v; }},
};

// Options that set or clear a switch.
struct Flag {
    const char* name;
    bool FrontEndOptions::*member;
    bool value;
    // The switch's opposite, cleared: the last of the two given wins.
    bool FrontEndOptions::*opposite = nullptr;
};

const Flag kFlags[] = {
    {"--quiet", &FrontEndOptions::quiet, true},         {"--help", &FrontEndOptions::help, true},
    {"--version", &FrontEndOptions::version, true},     {"--tree", &FrontEndOptions::tree, true},
    {"--check", &FrontEndOptions::check, true},         {"--diff", &FrontEndOptions::diff, true},
    {"--break-links", &FrontEndOptions::breakLinks, true},
    {"--no-git-ignore", &FrontEndOptions::gitIgnore, false}, {"--audit", &FrontEndOptions::audit, true},
    {"--strip", &FrontEndOptions::strip, true},         {"--strip-wrong", &FrontEndOptions::stripWrong, true},
    {"--verify", &FrontEndOptions::verify, true},
    {"--keep-lines", &FrontEndOptions::keepLines, true, &FrontEndOptions::keepLinesOff},
    {"--no-keep-lines", &FrontEndOptions::keepLinesOff, true, &FrontEndOptions::keepLines},
    {"--strict", &FrontEndOptions::strict, true, &FrontEndOptions::strictOff},
    {"--no-strict", &FrontEndOptions::strictOff, true, &FrontEndOptions::strict},
    {"--no-config", &FrontEndOptions::noConfig, true},
    {"--force-extensions", &FrontEndOptions::forceExtensions, true},
    {"--allow-line-shift", &FrontEndOptions::allowLineShift, true},
    {"--allow-unverified", &FrontEndOptions::allowUnverified, true},
    {"--verbose", &FrontEndOptions::verbose, true},     {"--staged", &FrontEndOptions::staged, true},
};

// Options of the library's own and of this front end that take no "--".
const char* const kShortOptions[] = {"-b", "-i", "-t", "-j", "-p", "-h"};

// What other tools call the same thing.
const std::pair<const char*, const char*> kHabits[] = {
    {"-n", "--check"},   {"--dry-run", "--check"}, {"-c", "--check"},     {"-d", "--diff"},
    {"-r", "--tree"},    {"-R", "--tree"},         {"--recursive", "--tree"}, {"-q", "--quiet"},
    {"-v", "--version"}, {"-V", "--version"},      {"-x", "--exclude"},   {"-e", "--ext"},
    {"-", "--files-from"},  {"--colour", "--color"}, {"--cached", "--staged"},
};

std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

bool isHabit(const std::string& word) {
    return std::any_of(std::begin(kHabits), std::end(kHabits), [&](const auto& habit) { return word == habit.first; });
}

// Returns how many of the following arguments the option took as its value.
int readLongOption(const std::string& option, const char* next, FrontEndOptions& options) {
    // "--print-config -i inc a.c": the file is the first file, not the option after it.
    if (option == "--print-config" && next && next[0] == '-' && next[1]) {
        options.printConfigLater = true;
        return 0;
    }
    for (const ValuedOption& valued : kValuedOptions) {
        const std::string name = valued.name;
        const bool joined = option.compare(0, name.size() + 1, name + "=") == 0;
        if (option != name && !joined) continue;
        const char* value = joined ? option.c_str() + name.size() + 1 : next;
        if (!value || (!*value && !valued.emptyAllowed)) {
            options.error = valued.missing;
            return 0;
        }
        valued.apply(options, value);
        return joined ? 0 : 1;
    }
    for (const Flag& flag : kFlags) {
        if (option != flag.name) continue;
        options.*flag.member = flag.value;
        if (flag.opposite) options.*flag.opposite = false;
        return 0;
    }
    options.error = "unknown option '" + option + "'";
    // Another tool's name for an option always gets its hint; otherwise only
    // a near miss is worth a guess: a word far from every option may be
    // meant for something else altogether.
    const std::string nearest = nearestOption(option);
    if (isHabit(option) || editDistance(option, nearest) <= std::max<std::size_t>(2, option.size() / 3))
        options.error += "; did you mean " + nearest + "?";
    return 0;
}
void splitJoinedIncludes(FrontEndOptions& options) {
    std::vector<const char*> arguments;
    std::vector<std::string> unknown;
    for (const std::string& word : options.unknownWords) {
        const bool joined = word.size() > 2 && word[0] == '-' && (word[1] == 'I' || word[1] == 'i');
        if (!joined) unknown.push_back(word);
    }
    std::size_t i = 0;
    for (; i < options.arguments.size(); ++i) {
        const char* argument = options.arguments[i];
        if (is(argument, "-i", "-I") && i + 1 < options.arguments.size()) {
            arguments.push_back(argument);
            arguments.push_back(options.arguments[++i]);
            continue;
        }
        const bool joined = argument[0] == '-' && (argument[1] == 'I' || argument[1] == 'i') && argument[2] &&
                            std::find(options.unknownWords.begin(), options.unknownWords.end(), argument) !=
                                options.unknownWords.end();
        if (!joined) {
            arguments.push_back(argument);
            continue;
        }
        const auto word = std::make_shared<const std::string>(argument + 2);
        options.heldWords.push_back(word);
        arguments.push_back(argument[1] == 'I' ? "-I" : "-i");
        arguments.push_back(word->c_str());
        options.includeGiven = true;
    }
    options.arguments = std::move(arguments);
    options.unknownWords = std::move(unknown);
}

}  // namespace

std::string nearestOption(const std::string& word) {
    for (const auto& [habit, option] : kHabits)
        if (word == habit) return option;
    // Dashes and case count for little: "-check" is "--check" with one dash missing.
    const auto body = [](const std::string& text) {
        const std::size_t start = text.find_first_not_of('-');
        std::string rest = start == std::string::npos ? std::string() : text.substr(start);
        for (char& c : rest) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return rest;
    };
    std::string best;
    std::size_t bestDistance = std::string::npos;
    const auto consider = [&](const std::string& option) {
        const std::size_t distance = 2 * editDistance(body(word), body(option)) + (word == option ? 0 : 1);
        if (distance < bestDistance) bestDistance = distance, best = option;
    };
    for (const ValuedOption& valued : kValuedOptions) consider(valued.name);
    for (const Flag& flag : kFlags) consider(flag.name);
    for (const char* option : kShortOptions) consider(option);
    return best;
}

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
        if (std::strcmp(argument, "-h") == 0) {
            options.help = true;
            continue;
        }
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
        // "-p DIR", "-pDIR" or "-p=DIR", as clang-tidy and other C and C++
        // tools take a build directory.
        if (std::strncmp(argument, "-p", 2) == 0) {
            const char* value = argument[2] == '=' ? argument + 3 : argument[2] ? argument + 2
                                : i + 1 < count                   ? args[++i]
                                                                  : nullptr;
            if (!value || !*value) {
                options.error = "-p needs the directory of compile_commands.json";
                break;
            }
            options.buildDirectory = value;
            continue;
        }
        if (std::strcmp(argument, "-") == 0) {
            options.standardInput = true;
            continue;
        }
        if (std::strncmp(argument, "--", 2) == 0) {
            i += readLongOption(argument, i + 1 < count ? args[i + 1] : nullptr, options);
            continue;
        }
        options.arguments.push_back(argument);
        if (is(argument, "-i", "-I")) options.includeGiven = true;
        if (is(argument, "-i", "-I") && i + 1 < count) options.arguments.push_back(args[++i]);
        else if (argument[0] == '-' && !is(argument, "-b", "-B") && !is(argument, "-i", "-I"))
            options.unknownWords.push_back(argument);
    }
    for (; i < count; ++i) options.arguments.push_back(args[i] ? args[i] : "");
    if (!options.error.empty()) return options;
    // "-IDIR", as compilers take it, is "-I DIR" to a batch run; single-file
    // mode keeps the library's reading of such a word (a file's name).
    const bool batch = options.tree || options.check || options.diff || options.audit || options.strip ||
                       options.stripWrong || options.verify;
    if (batch) splitJoinedIncludes(options);
    if (options.check && options.diff) options.error = "--check and --diff exclude each other";
    if (options.strip && options.stripWrong) options.error = "--strip and --strip-wrong exclude each other";
    if (options.audit && (options.check || options.diff || options.strip || options.stripWrong))
        options.error = "--audit changes nothing; it goes without --check, --diff and --strip";
    if (options.audit && options.verify) options.error = "--audit changes nothing; there is nothing to verify";
    if (options.format != vimbo::engine::OutputFormat::text && options.diff)
        options.error = "--diff prints a diff; --format goes with --check, --audit, --verify and --tree";
    // With --lines-since, --staged compares the index with the revision.
    if (options.since.size() && options.staged && !options.changedLinesOnly)
        options.error = "--since and --staged exclude each other (--lines-since REF --staged: the index against REF)";
    if (options.noConfig && !options.configFile.empty()) options.error = "--config and --no-config exclude each other";
    return options;
}

vimbo::engine::ProjectSettings commandLineSettingsOf(const FrontEndOptions& options) {
    vimbo::engine::ProjectSettings settings;
    settings.includeGiven = options.includeGiven;
    settings.extensions = options.extensions;
    settings.exclusions = options.exclusions;
    settings.precompiledHeaders = options.precompiledHeaders;
    settings.buildDirectory = options.buildDirectory;
    settings.compiler = options.compiler;
    if (options.keepLines || options.keepLinesOff) settings.keepLines = options.keepLines;
    if (options.strict || options.strictOff) settings.strict = options.strict;
    settings.configFile = options.configFile;
    settings.noConfig = options.noConfig;
    settings.maxFileSize = options.maxFileSize;
    return settings;
}

}  // namespace vimbo::cli
