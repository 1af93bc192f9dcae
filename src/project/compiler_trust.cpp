#include "project/compiler_trust.h"

#include "project/preprocess_command.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace vimbo::project {
namespace {

const char kByCommandLine[] = "; name the database with -p to run it";

// A directory in the middle of PATH that is no absolute one: a bare name is
// then looked for from wherever the program starts (the unit's directory).
bool pathHasRelativeEntry() {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    const std::string value = path;
    const char separator = value.find(';') != std::string::npos ? ';' : ':';
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = value.find(separator, start);
        const std::string entry = value.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const bool absolute = !entry.empty() && (entry[0] == '/' || entry[0] == '\\' ||
                                                 (entry.size() > 2 && entry[1] == ':'));
        if (!absolute) return true;
        if (end == std::string::npos) return false;
        start = end + 1;
    }
}

bool within(const fs::path& path, const fs::path& directory) {
    const fs::path relative = path.lexically_relative(directory);
    return !relative.empty() && *relative.begin() != "..";
}

fs::path resolved(const fs::path& path) {
    std::error_code error;
    const fs::path real = fs::weakly_canonical(fs::absolute(path, error), error);
    return error ? fs::absolute(path, error).lexically_normal() : real;
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Options with which gcc, clang or cl run or load a program besides the
// compiler: a wrapper, another directory for its own parts, a plugin, a
// -specs= or configuration file (which may name programs), another front end.
bool runsAnotherProgram(std::string word) {
    if (startsWith(word, "/clang:")) word.erase(0, 7);
    // -Wp,-fplugin=x.so and -Wa,... hand options on, each after a comma.
    const std::vector<std::string> handedOn = optionsHandedOn(word);
    if (!handedOn.empty())
        return std::any_of(handedOn.begin(), handedOn.end(), [](const std::string& part) { return runsAnotherProgram(part); });
    for (const char* exact : {"-wrapper", "--prefix", "-specs", "--specs", "-fplugin", "-fpass-plugin", "-load",
                              "--config"})
        if (word == exact) return true;
    for (const char* prefix : {"-B", "--prefix=", "-specs=", "--specs=", "-fplugin=", "-fpass-plugin=", "--config="})
        if (startsWith(word, prefix)) return true;
    std::string lower = word;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const char* prefix : {"/b1", "/b2", "/bx", "-b1", "-b2", "-bx"})
        if (startsWith(lower, prefix)) return true;
    return false;
}

}  // namespace

std::string untrustedCommand(const std::vector<std::string>& command, const std::string& directory,
                             const CompilerTrust& trust) {
    if (trust.databaseNamedByUser || command.empty()) return "";
    const std::string& remedy = trust.remedy.empty() ? std::string(kByCommandLine) : trust.remedy;
    const fs::path program(command[0]);
    // /proc/self/cwd and the like name the child's own directory, not ours.
    if (startsWith(command[0], "/proc/") || startsWith(command[0], "/dev/fd/"))
        return "the compiler " + command[0] + " is named through the process's own files" + remedy;
    if (!program.has_parent_path() && pathHasRelativeEntry())
        return "the compiler " + command[0] + " would be looked for along a PATH with a relative directory" + remedy;
    // A bare name is found along the user's PATH.
    if (program.has_parent_path()) {
        const fs::path real = resolved(program.is_absolute() ? program : fs::path(directory) / program);
        if (program.is_relative())
            return "the compiler " + command[0] + " is named from the unit's directory (" + real.generic_string() +
                   ")" + remedy;
        for (const std::string& root : trust.repository)
            if (!root.empty() && within(real, resolved(root)))
                return "the compiler " + real.generic_string() + " lies inside the repository" + remedy;
    }
    for (std::size_t i = 1; i < command.size(); ++i)
        if (runsAnotherProgram(command[i]))
            return "its command makes the compiler run or load another program (" + command[i] + ")" + remedy;
    return "";
}

}  // namespace vimbo::project
