#include "project/compile_database.h"

#include <algorithm>
#include <filesystem>
#include <cctype>
#include <cstring>
#include <iostream>
#include <set>

#include <nlohmann/json.hpp>

#include "project/file_size.h"
#include "project/preprocess_command.h"
#include "vimbo/engine/whole_file.h"

namespace fs = std::filesystem;

namespace vimbo::project {
namespace {

// A database of a large build runs to a few hundred megabytes.
constexpr std::uint64_t kMaxDatabaseSize = std::uint64_t{1} << 30;

std::string absoluteIn(const std::string& directory, const std::string& path) {
    fs::path result(path);
    if (result.is_relative()) result = fs::path(directory) / result;
    return result.lexically_normal().generic_string();
}

void appendNew(std::vector<std::string>& list, const std::string& entry) {
    if (std::find(list.begin(), list.end(), entry) == list.end()) list.push_back(entry);
}

// "-Ipath", "-I path", "/Ipath", "/I path" and the same for -iquote and -isystem.
bool takesDirectory(const std::string& argument, const std::string& option, const std::vector<std::string>& args,
                    std::size_t& i, std::string& value) {
    if (argument.compare(0, option.size(), option) != 0) return false;
    if (argument.size() > option.size()) {
        value = argument.substr(option.size());
        return true;
    }
    if (i + 1 >= args.size()) return false;
    value = args[++i];
    return true;
}

}  // namespace

std::string directoryIn(const std::string& directory, const std::string& path) {
    // "/x" on Windows has no drive, yet names no place below the directory.
    if (path.empty() || fs::path(path).is_absolute() || fs::path(path).has_root_directory() || directory.empty())
        return path;
    return directory + (directory.back() == '/' ? "" : "/") + path;
}

std::vector<std::string> splitCommandLine(const std::string& command) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (std::size_t i = 0; i < command.size(); ++i) {
        const char c = command[i];
        if (quote == '\'') {
            if (c == '\'') quote = 0; else word += c;
        } else if (quote == '"') {
            if (c == '"') {
                quote = 0;
            } else if (c == '\\' && i + 1 < command.size() &&
                       std::string("\"\\$`").find(command[i + 1]) != std::string::npos) {
                word += command[++i];
            } else {
                word += c;
            }
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            inWord = true;
            if (c == '\'' || c == '"')
                quote = c;
            else if (c == '\\' && i + 1 < command.size())
                word += command[++i];
            else
                word += c;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

std::vector<std::string> splitResponseFile(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            word += text[++i];
            inWord = true;
        } else if (quote) {
            if (c == quote) quote = 0;
            else word += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

IncludeDirectories includeDirectories(const std::vector<std::string>& arguments, const std::string& directory) {
    IncludeDirectories result;
    std::vector<std::string> quoted, bracket, system;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        std::string value;
        if (argument == "-I-" || argument.rfind("-iprefix", 0) == 0 || argument.rfind("-iwithprefix", 0) == 0 ||
            argument.rfind("-I=", 0) == 0 || argument.rfind("-isystem=", 0) == 0)
            result.followable = false;
        // Longer options first: "-iquote" and "-isystem" are not "-I".
        else if (takesDirectory(argument, "-iquote", arguments, i, value))
            appendNew(quoted, directoryIn(directory, value));
        else if (takesDirectory(argument, "-isystem", arguments, i, value) ||
                 takesDirectory(argument, "-imsvc", arguments, i, value) ||
                 takesDirectory(argument, "/imsvc", arguments, i, value))
            appendNew(system, directoryIn(directory, value));
        else if (takesDirectory(argument, "-idirafter", arguments, i, value) ||
                 takesDirectory(argument, "--include-directory-after=", arguments, i, value) ||
                 takesDirectory(argument, "--include-directory-after", arguments, i, value))
            continue;
        else if (takesDirectory(argument, "--include-directory=", arguments, i, value) ||
                 takesDirectory(argument, "--include-directory", arguments, i, value) ||
                 takesDirectory(argument, "-I", arguments, i, value) || takesDirectory(argument, "/I", arguments, i, value))
            appendNew(bracket, directoryIn(directory, value));
    }
    // gcc's merge: a directory that is also a system one is searched as
    // such, in the system chain; the rest keep their first place.
    const auto notSystem = [&](const std::string& entry) {
        return std::find(system.begin(), system.end(), entry) == system.end();
    };
    for (const std::string& entry : quoted)
        if (notSystem(entry)) result.quoted.push_back(entry);
    for (const std::string& entry : bracket)
        if (notSystem(entry)) result.search.push_back(entry);
    result.search.insert(result.search.end(), system.begin(), system.end());
    return result;
}

namespace {

// "-Wp,-DX,-include,f.h" hands each word after a comma to the preprocessor.
std::vector<std::string> preprocessorWords(const std::vector<std::string>& arguments) {
    std::vector<std::string> words{arguments.empty() ? std::string() : arguments[0]};
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        const std::vector<std::string> handedOn = a.rfind("-Wp,", 0) == 0 ? optionsHandedOn(a) : std::vector<std::string>{};
        if (handedOn.empty()) words.push_back(a);
        else words.insert(words.end(), handedOn.begin(), handedOn.end());
    }
    return words;
}

// The macros a forced-in file defines or undefines, read as directives.
void macrosOfFile(const std::string& path, std::vector<std::string>& macros) {
    std::string text;
    if (vimbo::engine::readRegularFile(path, std::uint64_t{1} << 20, text) != vimbo::engine::WholeFile::read) return;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::size_t at = text.find_first_not_of(" \t", start);
        if (at < end && text[at] == '#') {
            at = text.find_first_not_of(" \t", at + 1);
            for (const char* directive : {"define", "undef"}) {
                const std::size_t length = std::strlen(directive);
                if (at < end && text.compare(at, length, directive) == 0) {
                    const std::size_t name = text.find_first_not_of(" \t", at + length);
                    std::size_t stop = name;
                    while (stop < end && (std::isalnum(static_cast<unsigned char>(text[stop])) || text[stop] == '_')) ++stop;
                    if (name < end && stop > name && name > at + length) macros.push_back(text.substr(name, stop - name));
                }
            }
        }
        start = end + 1;
    }
}

}  // namespace

std::vector<std::string> commandLineMacros(const std::vector<std::string>& arguments, const std::string& directory) {
    std::vector<std::string> macros;
    const std::vector<std::string> words = preprocessorWords(arguments);
    for (std::size_t i = 1; i < words.size(); ++i) {
        std::string value;
        if (takesDirectory(words[i], "--define-macro=", words, i, value) ||
            takesDirectory(words[i], "--define-macro", words, i, value) ||
            takesDirectory(words[i], "--undefine-macro=", words, i, value) ||
            takesDirectory(words[i], "--undefine-macro", words, i, value) ||
            takesDirectory(words[i], "-D", words, i, value) || takesDirectory(words[i], "-U", words, i, value) ||
            takesDirectory(words[i], "/D", words, i, value) || takesDirectory(words[i], "/U", words, i, value)) {
            macros.push_back(value.substr(0, value.find_first_of("=(")));
        } else if (takesDirectory(words[i], "-imacros", words, i, value) ||
                   takesDirectory(words[i], "--include=", words, i, value) ||
                   takesDirectory(words[i], "--include", words, i, value) ||
                   (words[i].rfind("-include-pch", 0) != 0 && takesDirectory(words[i], "-include", words, i, value)) ||
                   takesDirectory(words[i], "/FI", words, i, value) || takesDirectory(words[i], "-FI", words, i, value)) {
            // A forced-in file defines its macros ahead of every include of the unit.
            if (!directory.empty()) macrosOfFile(directoryIn(directory, value), macros);
        }
    }
    return macros;
}

std::vector<std::string> precompiledHeaderNames(const std::vector<std::string>& arguments) {
    std::vector<std::string> names;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        std::string value;
        const std::string& a = arguments[i];
        if (takesDirectory(a, "/Yu", arguments, i, value) || takesDirectory(a, "-Yu", arguments, i, value) ||
            takesDirectory(a, "/Yc", arguments, i, value) || takesDirectory(a, "-Yc", arguments, i, value) ||
            takesDirectory(a, "/FI", arguments, i, value) || takesDirectory(a, "-FI", arguments, i, value) ||
            (a == "-include" && takesDirectory(a, "-include", arguments, i, value)))
            if (!value.empty()) names.push_back(fs::path(value).filename().string());
    }
    return names;
}

bool findCompileDatabase(const std::string& given, std::string& file, std::string& error, const Tell& tell) {
    std::error_code failure;
    // Anything else that is there is taken for the file: what it is, reading tells.
    const fs::file_status status = fs::status(given, failure);
    if (fs::exists(status) && !fs::is_directory(status)) {
        file = given;
        return true;
    }
    // A directory that is not there is a typo, not a reason to take another database.
    if (!fs::is_directory(status)) {
        error = "-p " + given + ": no such file or directory";
        return false;
    }
    const fs::path start = fs::absolute(given, failure).lexically_normal();
    for (fs::path directory = start; !directory.empty(); directory = directory.parent_path()) {
        const fs::path candidate = directory / "compile_commands.json";
        // A pipe or device by that name is this build's, not one to look past.
        const fs::file_status found = fs::status(candidate, failure);
        if (fs::exists(found) && !fs::is_directory(found)) {
            file = candidate.string();
            if (directory != start)
                tell("vimbo: -p " + given + ": taking " + candidate.generic_string() + "\n");
            return true;
        }
        if (directory == directory.parent_path()) break;
    }
    error = "-p " + given + ": no compile_commands.json there or in a directory above";
    return false;
}

bool CompileDatabase::load(const std::string& path, std::string& error, const std::string& includeVariable,
                           const Tell& tell) {
    std::error_code failure;
    const fs::path file = fs::is_directory(path, failure) ? fs::path(path) / "compile_commands.json" : fs::path(path);
    std::string text;
    const vimbo::engine::WholeFile read = vimbo::engine::readRegularFile(file.string(), kMaxDatabaseSize, text);
    if (read != vimbo::engine::WholeFile::read) {
        error = file.generic_string() + ": can't read the compilation database" +
                (read == vimbo::engine::WholeFile::notRegular ? " (not a regular file)"
                 : read == vimbo::engine::WholeFile::tooLarge ? " (larger than " + fileSizeText(kMaxDatabaseSize) + ")"
                                                              : "");
        return false;
    }
    nlohmann::json database;
    try {
        database = nlohmann::json::parse(text);
        std::string().swap(text);
    } catch (const nlohmann::json::exception& e) {
        error = file.generic_string() + ": not a valid compilation database (" + e.what() + ")";
        return false;
    }
    if (!database.is_array()) {
        error = file.generic_string() + ": not a valid compilation database (not a list of entries)";
        return false;
    }
    std::size_t index = 0;
    std::set<std::string> told;
    for (const nlohmann::json& entry : database) {
        ++index;
        const auto bad = [&](const char* what) {
            error = file.generic_string() + ": entry " + std::to_string(index) + ": " + what;
            return false;
        };
        if (!entry.is_object() || !entry.contains("directory") || !entry["directory"].is_string() ||
            !entry.contains("file") || !entry["file"].is_string())
            return bad("needs \"directory\" and \"file\" strings");
        std::vector<std::string> arguments;
        if (entry.contains("arguments") && entry["arguments"].is_array()) {
            for (const nlohmann::json& argument : entry["arguments"]) {
                if (!argument.is_string()) return bad("\"arguments\" must hold strings");
                arguments.push_back(argument.get<std::string>());
            }
        } else if (entry.contains("command") && entry["command"].is_string()) {
            arguments = splitCommandLine(entry["command"].get<std::string>());
        } else {
            return bad("needs \"arguments\" or \"command\"");
        }
        const std::string base = absoluteIn(fs::current_path().generic_string(), entry["directory"].get<std::string>());
        // Options may come from response files, as the compiler reads them.
        std::vector<std::string> expanded;
        std::string unreadable;
        const std::string source = absoluteIn(base, entry["file"].get<std::string>());
        SearchQuestion question;
        question.directory = base;
        if (!expandResponseFiles(arguments, base, expanded, unreadable)) {
            question.problem = unreadable;
            question.problemTold = true;
            // Said once for each file, however many entries name it.
            if (told.insert(unreadable).second)
                tell("vimbo: warning: " + file.generic_string() + ": entry " + std::to_string(index) + ": " +
                     unreadable + "; no header is found with its directories\n");
        } else if (isMicrosoftCl(expanded)) {
            // cl prints no list; its command line and INCLUDE are the list.
            question.given = clSearchList(expanded, base, includeVariable);
        } else {
            std::string why;
            if (!searchListCommand(expanded, source, base, languageOf(expanded, source), question.command, why))
                question.problem = why;
            question.includeStack = followsClRules(expanded);
        }
        for (std::string& macro : vimbo::project::commandLineMacros(expanded, base)) macros_.push_back(std::move(macro));
        std::vector<std::string> pch = precompiledHeaderNames(expanded);
        const auto same = std::find_if(configurations_.begin(), configurations_.end(), [&](const SearchQuestion& q) {
            return q.directory == question.directory && q.command == question.command &&
                   q.problem == question.problem && q.given == question.given &&
                   q.includeStack == question.includeStack;
        });
        const std::size_t number = static_cast<std::size_t>(same - configurations_.begin());
        if (same == configurations_.end()) configurations_.push_back(std::move(question));
        byFile_[source].push_back(number);
        for (const std::string& name : pch) {
            appendNew(precompiled_[source], name);
            appendNew(allPrecompiled_, name);
        }
        entries_.push_back({base, source, std::move(arguments)});
    }
    return true;
}

bool CompileDatabase::lists(const std::string& file) const {
    return byFile_.count(absoluteIn(fs::current_path().generic_string(), file)) != 0;
}

const std::vector<std::size_t>& CompileDatabase::configurationsOf(const std::string& file) const {
    static const std::vector<std::size_t> none;
    const auto found = byFile_.find(absoluteIn(fs::current_path().generic_string(), file));
    return found == byFile_.end() ? none : found->second;
}

std::vector<std::string> CompileDatabase::precompiledHeadersOf(const std::string& file) const {
    if (!lists(file)) return allPrecompiled_;
    const auto found = precompiled_.find(absoluteIn(fs::current_path().generic_string(), file));
    return found == precompiled_.end() ? std::vector<std::string>{} : found->second;
}

std::size_t CompileDatabase::entriesFor(const std::string& file) const {
    const auto found = byFile_.find(absoluteIn(fs::current_path().generic_string(), file));
    return found == byFile_.end() ? 0 : found->second.size();
}

}  // namespace vimbo::project
