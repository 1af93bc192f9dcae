#include "project/compiler_search.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

#include "project/compile_database.h"
#include "project/preprocess_command.h"
#include "vimbo/engine/paths.h"

namespace fs = std::filesystem;

namespace vimbo::project {
namespace {

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The word of a command that names the source compiled.
bool namesSource(const std::string& word, const std::string& source, const std::string& directory) {
    if (word.empty() || word[0] == '-' || source.empty()) return false;
    fs::path path(word);
    if (path.is_relative()) path = fs::path(directory) / path;
    return path.lexically_normal() == fs::path(source).lexically_normal();
}

Language byExtension(const std::string& source, bool& known) {
    const std::string extension = fs::path(source).extension().string();
    known = true;
    if (extension == ".c" || extension == ".i") return Language::c;
    for (const char* cxx : {".cc", ".cp", ".cxx", ".cpp", ".CPP", ".c++", ".C", ".ii", ".mm", ".M", ".hpp", ".hh",
                            ".hxx", ".h++", ".H", ".tcc", ".ipp"})
        if (extension == cxx) return Language::cxx;
    known = false;
    return Language::c;
}

Language byLanguageName(const std::string& name) {
    return name.rfind("c++", 0) == 0 || name.rfind("objective-c++", 0) == 0 ? Language::cxx : Language::c;
}

}  // namespace

bool searchesAnotherWay(const std::string& word) {
    // -I- ends the look beside the includer; an overlay maps files the list never shows.
    return word == "-I-" || word == "-ivfsoverlay" || startsWith(word, "-ivfsoverlay") ||
           startsWith(word, "--vfsoverlay");
}

bool writesThroughThePreprocessor(const std::string& word) {
    // -Wp,-MD,FILE (the kernel's build), -Xpreprocessor -o ...: outputs given to the preprocessor itself.
    if (!startsWith(word, "-Wp,")) return false;
    for (const std::string& part : optionsHandedOn(word))
        if (startsWith(part, "-M") || startsWith(part, "-o")) return true;
    return false;
}

bool languageOfName(const std::string& path, Language& language) {
    bool known = false;
    language = byExtension(path, known);
    return known;
}

bool parseSearchList(const std::string& verbose, const std::string& directory, SearchList& list) {
    std::istringstream lines(verbose);
    std::string line;
    enum { before, quoted, angle } part = before;
    bool ended = false, began = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "#include \"...\" search starts here:") {
            part = quoted;
            began = true;
            continue;
        }
        if (line == "#include <...> search starts here:") {
            part = angle;
            began = true;
            continue;
        }
        if (line == "End of search list.") {
            ended = began;
            break;
        }
        if (part == before || line.empty() || line[0] != ' ') continue;
        std::string entry = line.substr(1);
        // clang on Apple systems: a framework is searched as Name.framework/Headers.
        const std::string framework = " (framework directory)";
        if (entry.size() > framework.size() &&
            entry.compare(entry.size() - framework.size(), framework.size(), framework) == 0) {
            list.followable = false;
            continue;
        }
        (part == quoted ? list.quoted : list.angle).push_back(directoryIn(directory, entry));
    }
    return ended;
}

Language languageOf(const std::vector<std::string>& arguments, const std::string& source) {
    const std::size_t first = compilerIndex(arguments);
    const bool msvc = first < arguments.size() && familyOf(arguments[first]) == Family::msvc;
    std::string given;
    for (std::size_t i = first + 1; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (msvc) {
            const std::string lower = lowerCase(word);
            if (lower == "/tp" || lower == "-tp" || startsWith(lower, "/tp") || startsWith(lower, "-tp")) return Language::cxx;
            if (lower == "/tc" || lower == "-tc" || startsWith(lower, "/tc") || startsWith(lower, "-tc")) return Language::c;
        } else if (word == "-x" && i + 1 < arguments.size()) {
            given = arguments[++i];
        } else if (startsWith(word, "-x") && word.size() > 2) {
            given = word.substr(2);
        } else if (!word.empty() && word[0] != '-' && fs::path(word).filename() == fs::path(source).filename() &&
                   !given.empty() && given != "none") {
            return byLanguageName(given);
        }
    }
    // g++ and clang++ (and clang as g++) compile a ".c" as C++ too.
    const std::string program = first < arguments.size() ? programName(arguments[first]) : "";
    const bool cxxDriver =
        !msvc && ((program.size() >= 2 && program.compare(program.size() - 2, 2, "++") == 0) ||
                  std::find(arguments.begin(), arguments.end(), "--driver-mode=g++") != arguments.end());
    if (cxxDriver) return Language::cxx;
    bool known = false;
    const Language language = byExtension(source, known);
    return known ? language : Language::c;
}

bool isMicrosoftCl(const std::vector<std::string>& arguments) {
    const std::size_t first = compilerIndex(arguments);
    return first < arguments.size() && programName(arguments[first]) == "cl";
}

bool followsClRules(const std::vector<std::string>& arguments) {
    const std::size_t first = compilerIndex(arguments);
    return first < arguments.size() && familyOf(arguments[first]) == Family::msvc;
}

bool searchListCommand(const std::vector<std::string>& arguments, const std::string& source, const std::string& directory,
                       Language language, std::vector<std::string>& command, std::string& error) {
    command.clear();
    const std::size_t first = compilerIndex(arguments);
    const Family family = first < arguments.size() ? familyOf(arguments[first]) : Family::unknown;
    if (family == Family::unknown || (family == Family::msvc && isMicrosoftCl(arguments))) {
        error = "can't ask " + (first < arguments.size() ? arguments[first] : std::string("an empty command")) +
                " for its search list";
        return false;
    }
    command.push_back(arguments[first]);
    for (std::size_t i = first + 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (namesSource(a, source, directory)) continue;
        if (family == Family::gnu && searchesAnotherWay(a)) {
            error = a + " makes the compiler search in a way its list can't tell";
            command.clear();
            return false;
        }
        if (family == Family::gnu && writesThroughThePreprocessor(a)) continue;
        if (family == Family::gnu) {
            // Outputs, inputs and what would only print: the lists are all it says here.
            if (a == "-c" || a == "-E" || a == "-P" || a == "-S" || a == "-M" || a == "-MM" || a == "-MD" ||
                a == "-MMD" || a == "-MG" || a == "-MP" || a == "-###" || a == "-v" || startsWith(a, "-save-temps") ||
                startsWith(a, "--save-temps") || startsWith(a, "-ftime-trace") || startsWith(a, "-fdump-"))
                continue;
            if (a == "-o" || a == "-MF" || a == "-MT" || a == "-MQ" || a == "-MJ" || a == "-x" || a == "-include" ||
                a == "-imacros" || a == "-include-pch" || a == "--serialize-diagnostics") {
                ++i;
                continue;
            }
            if ((startsWith(a, "-o") || startsWith(a, "-MF") || startsWith(a, "-MT") || startsWith(a, "-MQ") ||
                 startsWith(a, "-MJ") || startsWith(a, "-x") || startsWith(a, "-include") || startsWith(a, "-imacros") ||
                 startsWith(a, "--serialize-diagnostics")) &&
                a.size() > 2)
                continue;
        } else {
            const std::string lower = lowerCase(a);
            if (lower == "/link" || lower == "-link") break;  // the rest is the linker's
            if (lower.size() > 1 && (lower[0] == '/' || lower[0] == '-')) {
                const std::string option = lower.substr(1);
                if (option == "c" || option == "e" || option == "ep" || option == "p" || option == "v" ||
                    option == "showincludes" || startsWith(option, "fo") || startsWith(option, "fe") ||
                    startsWith(option, "fd") || startsWith(option, "fa") || startsWith(option, "fi") ||
                    startsWith(option, "fp") || startsWith(option, "yc") || startsWith(option, "yu") ||
                    startsWith(option, "tp") || startsWith(option, "tc"))
                    continue;
            }
        }
        command.push_back(a);
    }
    if (family == Family::gnu) {
        command.insert(command.end(), {"-E", "-v", "-x", language == Language::cxx ? "c++" : "c", "-"});
    } else {
        command.insert(command.end(), {"-v", "/E", language == Language::cxx ? "/TP" : "/TC", "-"});
    }
    return true;
}

SearchList clSearchList(const std::vector<std::string>& arguments, const std::string& directory,
                        const std::string& includeVariable) {
    SearchList list;
    list.includeStack = true;
    const IncludeDirectories given = includeDirectories(arguments, directory);
    list.quoted = given.quoted;
    list.angle = given.search;
    list.followable = given.followable;
    bool ignoreVariable = false;
    for (const std::string& word : arguments)
        if (lowerCase(word) == "/x" || lowerCase(word) == "-x") ignoreVariable = true;
    if (!ignoreVariable)
        for (const std::string& entry : vimbo::engine::searchPathEntries(includeVariable))
            if (std::find(list.angle.begin(), list.angle.end(), entry) == list.angle.end()) list.angle.push_back(entry);
    return list;
}

}  // namespace vimbo::project
