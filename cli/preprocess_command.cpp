#include "preprocess_command.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "compile_database.h"

namespace fs = std::filesystem;

namespace vimbo::cli {
namespace {

enum class Family { gnu, msvc, unknown };

// The program's name in lower case, without directory, ".exe" and a version
// behind it: /usr/bin/clang++-14 and CL.EXE give clang++ and cl.
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

// Programs a build puts in front of its compiler, which they then run with
// the rest of the command.
bool isLauncher(const std::string& program) {
    const std::string name = programName(program);
    return name == "ccache" || name == "sccache" || name == "distcc" || name == "icecc" || name == "buildcache";
}

// gcc, x86_64-linux-gnu-g++-12, /usr/bin/clang++-14, CL.EXE ...
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

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Fixed values for the macros that would differ between two runs: the time
// of the run and of the file (a rewrite gives the file a new one).
const char* const kGnuFixed[] = {"-Wno-builtin-macro-redefined", "-D__DATE__=\"Jan 1 2000\"",
                                 "-D__TIME__=\"00:00:00\"", "-D__TIMESTAMP__=\"Sat Jan 1 00:00:00 2000\""};
// And the line, to tell a unit whose text moved only where __LINE__ expands.
const char kGnuFixedLine[] = "-D__LINE__=0";

}  // namespace

bool expandResponseFiles(const std::vector<std::string>& arguments, const std::string& directory,
                         std::vector<std::string>& expanded, std::string& error) {
    for (const std::string& argument : arguments) {
        if (argument.size() < 2 || argument[0] != '@') {
            expanded.push_back(argument);
            continue;
        }
        fs::path file = argument.substr(1);
        if (file.is_relative()) file = fs::path(directory) / file;
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        if (!in || !(text << in.rdbuf())) {
            error = "can't read the response file " + file.generic_string();
            return false;
        }
        for (std::string& word : splitCommandLine(text.str())) expanded.push_back(std::move(word));
    }
    return true;
}

bool preprocessCommand(const std::vector<std::string>& arguments, std::vector<std::string>& command,
                       std::string& error, bool fixLines) {
    command.clear();
    // ccache gcc ...: the compiler is the launcher's first word; the
    // launcher is left out, since it would only run the compiler.
    std::size_t first = 0;
    while (first + 1 < arguments.size() && isLauncher(arguments[first])) ++first;
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
            if (lower.size() > 1 && (lower[0] == '/' || lower[0] == '-')) {
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

}  // namespace vimbo::cli
