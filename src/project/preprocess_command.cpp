#include "project/preprocess_command.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "project/compile_database.h"
#include "project/compiler_search.h"
#include "project/file_size.h"
#include "vimbo/engine/whole_file.h"

namespace fs = std::filesystem;

namespace vimbo::project {

std::string programName(const std::string& program) {
    std::string name = fs::path(program).filename().string();
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0) name.resize(name.size() - 4);
    const std::size_t dash = name.find_last_of('-');
    if (dash != std::string::npos && dash + 1 < name.size() &&
        std::all_of(name.begin() + static_cast<long>(dash) + 1, name.end(),
                    [](unsigned char c) { return std::isdigit(c) || c == '.'; }))
        name.resize(dash);
    return name;
}

namespace {
// Programs a build puts in front of its compiler, which they then run with
// the rest of the command.
bool isLauncher(const std::string& program) {
    const std::string name = programName(program);
    return name == "ccache" || name == "sccache" || name == "distcc" || name == "icecc" || name == "buildcache";
}
}  // namespace

std::vector<std::string> optionsHandedOn(const std::string& word) {
    std::vector<std::string> parts;
    if (word.size() < 4 || word.compare(0, 2, "-W") != 0 || word[3] != ',' ||
        (word[2] != 'p' && word[2] != 'a' && word[2] != 'l'))
        return parts;
    for (std::size_t at = 3; at != std::string::npos; at = word.find(',', at + 1))
        parts.push_back(word.substr(at + 1, word.find(',', at + 1) - at - 1));
    return parts;
}

std::size_t compilerIndex(const std::vector<std::string>& arguments) {
    std::size_t first = 0;
    while (first + 1 < arguments.size() && isLauncher(arguments[first])) ++first;
    return first;
}

Family familyOf(const std::string& program) {
    const std::string name = programName(program);
    if (name == "cl" || name == "clang-cl") return Family::msvc;
    for (const char* gnu : {"gcc", "g++", "clang", "clang++", "cc", "c++"}) {
        const std::string tool = gnu;
        // A target in front of the name: x86_64-linux-gnu-gcc.
        if (name == tool || (name.size() > tool.size() && name.compare(name.size() - tool.size(), tool.size(), tool) == 0 &&
                             name[name.size() - tool.size() - 1] == '-'))
            return Family::gnu;
    }
    return Family::unknown;
}

namespace {

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Fixed values for the macros that would differ between two runs: the time
// of the run and of the file (a rewrite gives the file a new one).
const char* const kGnuFixed[] = {"-Wno-builtin-macro-redefined", "-D__DATE__=\"Jan 1 2000\"",
                                 "-D__TIME__=\"00:00:00\"", "-D__TIMESTAMP__=\"Sat Jan 1 00:00:00 2000\""};
// And the line, to tell a unit whose text moved only where __LINE__ expands.
const char kGnuFixedLine[] = "-D__LINE__=0";

}  // namespace

namespace {

// Response files are a command line each: a megabyte is far more than
// any, and a command's all together stay within 16.
constexpr std::uint64_t kMaxResponseFileSize = std::uint64_t{1} << 20;
constexpr std::uint64_t kMaxResponseFilesSize = std::uint64_t{16} << 20;
// gcc and clang expand "@file" inside a response file too.
constexpr std::size_t kMaxResponseFileDepth = 16;

struct Expansion {
    const std::string& directory;
    std::vector<std::string>& expanded;
    std::string& error;
    std::vector<std::string> open;  // the files being expanded, outermost first
    std::uint64_t read = 0;         // bytes of all the files so far

    bool fail(const fs::path& file, const std::string& why) {
        error = "can't read the response file " + file.generic_string() + (why.empty() ? "" : " (" + why + ")");
        return false;
    }

    bool expand(const std::vector<std::string>& arguments) {
        for (const std::string& argument : arguments) {
            if (argument.size() < 2 || argument[0] != '@') {
                expanded.push_back(argument);
                continue;
            }
            // A nested name is taken from the command's directory, as gcc takes it.
            fs::path file = argument.substr(1);
            if (file.is_relative()) file = fs::path(directory) / file;
            file = file.lexically_normal();
            const std::string key = file.generic_string();
            if (std::find(open.begin(), open.end(), key) != open.end()) return fail(file, "it names itself");
            if (open.size() == kMaxResponseFileDepth)
                return fail(file, "nested deeper than " + std::to_string(kMaxResponseFileDepth));
            const std::uint64_t limit = std::min(kMaxResponseFileSize, kMaxResponseFilesSize - read);
            std::string text;
            switch (vimbo::engine::readRegularFile(file.string(), limit, text)) {
            case vimbo::engine::WholeFile::read: break;
            case vimbo::engine::WholeFile::notRegular: return fail(file, "not a regular file");
            case vimbo::engine::WholeFile::tooLarge:
                return fail(file, limit < kMaxResponseFileSize
                                      ? "the command's response files hold more than " +
                                            fileSizeText(kMaxResponseFilesSize)
                                      : "larger than " + fileSizeText(kMaxResponseFileSize));
            default: return fail(file, "");
            }
            read += text.size();
            open.push_back(key);
            if (!expand(splitResponseFile(text))) return false;
            open.pop_back();
        }
        return true;
    }
};

}  // namespace

bool expandResponseFiles(const std::vector<std::string>& arguments, const std::string& directory,
                         std::vector<std::string>& expanded, std::string& error) {
    Expansion expansion{directory, expanded, error, {}, 0};
    return expansion.expand(arguments);
}

bool preprocessCommand(const std::vector<std::string>& arguments, std::vector<std::string>& command,
                       std::string& error, bool fixLines) {
    command.clear();
    // ccache gcc ...: the compiler is the launcher's first word; the
    // launcher is left out, since it would only run the compiler.
    const std::size_t first = compilerIndex(arguments);
    const Family family = first < arguments.size() ? familyOf(arguments[first]) : Family::unknown;
    if (family == Family::unknown) {
        std::string program;
        for (std::size_t i = 0; i <= first && i < arguments.size(); ++i) program += (i ? " " : "") + arguments[i];
        error = "can't tell how to preprocess with " + (program.empty() ? std::string("an empty command") : program);
        return false;
    }
    command.push_back(arguments[first]);
    for (std::size_t i = first + 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (family == Family::gnu) {
            // Outputs: the object, and dependency files, which -E would write too.
            // The preprocessor's own outputs (-Wp,-MD,FILE) would be written over.
            if (writesThroughThePreprocessor(a)) continue;
            if (a == "-c" || a == "-E" || a == "-P" || a == "-S" || a == "-MD" || a == "-MMD" || a == "-M" ||
                a == "-MM" || a == "-MG" || a == "-MP")
                continue;
            if (a == "-o" || a == "-MF" || a == "-MT" || a == "-MQ") {
                ++i;
                continue;
            }
            if ((startsWith(a, "-o") || startsWith(a, "-MF") || startsWith(a, "-MT") || startsWith(a, "-MQ")) &&
                a.size() > 2)
                continue;
        } else {
            std::string lower = a;
            std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
            // /FI forces a header in, part of the unit; /Fi names an output.
            const bool forcedInclude = a.size() >= 3 && a.compare(1, 2, "FI") == 0;
            if (lower.size() > 1 && (lower[0] == '/' || lower[0] == '-') && !forcedInclude) {
                const std::string option = lower.substr(1);
                if (option == "c" || option == "e" || option == "ep" || option == "p" ||
                    startsWith(option, "fo") || startsWith(option, "fe") || startsWith(option, "fd") ||
                    startsWith(option, "fa") || startsWith(option, "fi") || startsWith(option, "fp") ||
                    startsWith(option, "yc") || startsWith(option, "yu") || option == "showincludes")
                    continue;
            }
        }
        command.push_back(a);
    }
    if (family == Family::gnu) {
        command.insert(command.begin() + 1, {"-E", "-P"});
        command.insert(command.begin() + 3, std::begin(kGnuFixed), std::end(kGnuFixed));
        if (fixLines) command.insert(command.begin() + 4, kGnuFixedLine);
        // gcc warns of the fixed macros whatever it is told; a build's
        // -Werror must not turn that into a failure.
        command.push_back("-Wno-error");
    } else {
        command.insert(command.begin() + 1, "/EP");
    }
    return true;
}

DependencyOutput addDependencyOutput(std::vector<std::string>& command, const std::string& ruleFile) {
    // Right behind the mode the command was given, ahead of the entry's own
    // words, which may end the options.
    if (!command.empty() && familyOf(command[0]) == Family::msvc) {
        command.insert(command.begin() + std::min<std::size_t>(2, command.size()), "/showIncludes");
        return DependencyOutput::includeNotes;
    }
    command.insert(command.begin() + std::min<std::size_t>(3, command.size()), {"-MD", "-MF", ruleFile, "-MT", "vimbo"});
    return DependencyOutput::makeRule;
}

}  // namespace vimbo::project
