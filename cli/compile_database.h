// The include directories a build's compile_commands.json gives each source
// file, and their union for the files it does not list (headers).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace vimbo::cli {

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
    // with a message when it is missing or malformed.
    bool load(const std::string& path, std::string& error);
    // The directories of the first entry for `file`, or the union of all
    // entries' directories (in first-seen order) for a file no entry compiles.
    const IncludeDirectories& directoriesFor(const std::string& file) const;
    // How many entries compile `file` (a source listed for two targets has two).
    std::size_t entriesFor(const std::string& file) const;
    // The macros the entries define or undefine on their command lines.
    const std::vector<std::string>& commandLineMacros() const { return macros_; }
    // Whether an entry compiles `file` (else, a header, it is searched with the union).
    bool lists(const std::string& file) const;
    // Each different set of directories the entries use, in first-seen order.
    const std::vector<IncludeDirectories>& configurations() const { return configurations_; }
    const std::vector<CompileEntry>& entries() const { return entries_; }

private:
    std::vector<CompileEntry> entries_;
    std::map<std::string, std::vector<IncludeDirectories>> byFile_;  // keyed by absolute, normal path
    std::vector<std::string> macros_;
    IncludeDirectories all_;
    std::vector<IncludeDirectories> configurations_;
};

// The compile_commands.json that "-p" means: the file itself, else the one in
// that directory or, as clang's tools look, in the nearest directory above
// it. False with a message when there is none; a note when one above is taken.
bool findCompileDatabase(const std::string& given, std::string& file, std::string& error);

// A command string split the way a POSIX shell splits words: blanks
// separate, quotes and backslashes protect.
std::vector<std::string> splitCommandLine(const std::string& command);

// The include directories of one compiler command line (response files
// already expanded), relative ones taken from `directory`, in the order gcc
// and clang search them: -iquote, then -I (and /I, --include-directory),
// then -isystem (and -imsvc); a directory given both as -I and as a system
// directory is searched as a system one. -idirafter directories are left
// out: they come after the compiler's own, which this list does not know.
IncludeDirectories includeDirectories(const std::vector<std::string>& arguments, const std::string& directory);

// The macros a command line defines or undefines (-D, -U, /D, /U).
std::vector<std::string> commandLineMacros(const std::vector<std::string>& arguments);

}  // namespace vimbo::cli
