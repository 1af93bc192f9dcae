// The include directories a build's compile_commands.json gives each source
// file, and their union for the files it does not list (headers).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "project/compiler_lookups.h"
#include "project/messages.h"

namespace vimbo::project {

struct IncludeDirectories {
    std::vector<std::string> quoted;  // -iquote: searched for "name" only
    std::vector<std::string> search;  // -I and /I, then -isystem: searched for both forms
    // False when the command line searches in a way this list can't follow
    // (-I-, -iprefix, a sysroot-relative -I=, an unreadable response file):
    // no header is taken as found with it.
    bool followable = true;
    bool operator==(const IncludeDirectories& other) const {
        return quoted == other.quoted && search == other.search && followable == other.followable;
    }
};

// One entry: how one translation unit is compiled.
struct CompileEntry {
    std::string directory;               // absolute, where the command runs
    std::string file;                    // absolute, normal
    std::vector<std::string> arguments;  // the command line, split into words
};

class CompileDatabase {
public:
    // Reads a compile_commands.json, named itself or by its directory; false
    // with a message when it is missing or malformed. `includeVariable`:
    // the INCLUDE variable's path, which cl searches after its /I. Entries
    // that can't be read are told to `tell`.
    bool load(const std::string& path, std::string& error, const std::string& includeVariable, const Tell& tell);
    // How each configuration's search lists are known: each distinct
    // compiler command (without its source) in its directory, first-seen order.
    const std::vector<SearchQuestion>& configurations() const { return configurations_; }
    // The configurations of the entries that compile `file`, the first
    // entry's first; none for a file no entry compiles.
    const std::vector<std::size_t>& configurationsOf(const std::string& file) const;
    // Headers the entries for `file` name as precompiled or forced in
    // (/Yu, /Yc, /FI; -include): never wrapped in it. For a file no entry
    // compiles, those of every entry.
    std::vector<std::string> precompiledHeadersOf(const std::string& file) const;
    // How many entries compile `file` (a source listed for two targets has two).
    std::size_t entriesFor(const std::string& file) const;
    // The macros the entries define or undefine on their command lines.
    const std::vector<std::string>& commandLineMacros() const { return macros_; }
    // Whether an entry compiles `file` (else, a header, it is searched with the union).
    bool lists(const std::string& file) const;
    const std::vector<CompileEntry>& entries() const { return entries_; }

private:
    std::vector<CompileEntry> entries_;
    // Keyed by absolute, normal path: the configurations, and the headers
    // named precompiled or forced in.
    std::map<std::string, std::vector<std::size_t>> byFile_;
    std::map<std::string, std::vector<std::string>> precompiled_;
    std::vector<std::string> allPrecompiled_;
    std::vector<std::string> macros_;
    std::vector<SearchQuestion> configurations_;
};

// The compile_commands.json that "-p" means: the file itself, else the one in
// that directory or, as clang's tools look, in the nearest directory above
// it. False with a message when there is none; one above that is taken is told to `tell`.
bool findCompileDatabase(const std::string& given, std::string& file, std::string& error, const Tell& tell);

// A directory a command names, from the directory it runs in: joined, not
// normalised, since ".." goes up from where a link leads, as open goes.
std::string directoryIn(const std::string& directory, const std::string& path);

// A command string split the way a POSIX shell splits words: blanks
// separate, quotes and backslashes protect.
std::vector<std::string> splitCommandLine(const std::string& command);

// A response file split as gcc and clang split it: blanks separate, quotes
// group, and a backslash takes the next character as it is, inside quotes too.
std::vector<std::string> splitResponseFile(const std::string& text);

// The include directories of one compiler command line (response files
// already expanded), relative ones taken from `directory`, in the order gcc
// and clang search them: -iquote, then -I (and /I, --include-directory),
// then -isystem (and -imsvc); a directory given both as -I and as a system
// directory is searched as a system one. -idirafter directories are left
// out: they come after the compiler's own, which this list does not know.
IncludeDirectories includeDirectories(const std::vector<std::string>& arguments, const std::string& directory);

// The macros a command line defines or undefines (-D, -U, /D, /U,
// --define-macro, inside -Wp,), and with `directory` (the entry's) those the
// files it forces in (-include, -imacros, /FI) define or undefine.
std::vector<std::string> commandLineMacros(const std::vector<std::string>& arguments,
                                           const std::string& directory = "");

// The headers a command line names as precompiled or forced in: /Yu, /Yc
// and /FI (with or without a space), -include.
std::vector<std::string> precompiledHeaderNames(const std::vector<std::string>& arguments);

}  // namespace vimbo::project
