// The directories a compiler searches for headers, as the compiler itself
// says: gcc and clang clean their list (built-in directories, duplicates
// compared by identity, the environment, the sysroot, -nostdinc) before
// they search, and print the outcome for -E -v. A list worked out from the
// command line alone would be another compiler's.
#pragma once

#include <string>
#include <vector>

namespace vimbo::project {

enum class Language { c, cxx };

struct SearchList {
    std::vector<std::string> quoted;  // for "name" only, after the includer's directory
    std::vector<std::string> angle;   // for both forms, in order
    // cl and clang-cl: a quoted name not beside its includer is looked for
    // beside each file that included that one, which differs from unit to unit.
    bool includeStack = false;
    // False when the compiler searches in a way these lists can't follow
    // (-I-, which stops the look beside the includer; a framework directory).
    bool followable = true;
    bool operator==(const SearchList& other) const {
        return quoted == other.quoted && angle == other.angle && includeStack == other.includeStack &&
               followable == other.followable;
    }
};

// The lists in the text of `-E -v` (standard error), relative directories
// taken from `directory` without resolving "..": the system resolves it
// through links as the compiler's open does. False when the text holds none.
bool parseSearchList(const std::string& verbose, const std::string& directory, SearchList& list);

// The language a file's extension tells (.c; .cc, .cpp, .hpp ...); false
// for one that tells none (.h is C's and C++'s).
bool languageOfName(const std::string& path, Language& language);

// The language a compile command compiles `source` in: its -x (or /TP, /TC,
// /Tp, /Tc), else the file's extension, else the driver's (g++, clang++).
Language languageOf(const std::vector<std::string>& arguments, const std::string& source);

// The command that asks the compiler of `arguments` (a compile command, its
// response files expanded) for its search lists in `language`: its own
// flags without `source` and the outputs, then -E -v on an empty standard
// input. False with a message for a program that is no gcc, clang or
// clang-cl (cl prints no list: see clSearchList).
bool searchListCommand(const std::vector<std::string>& arguments, const std::string& source, const std::string& directory,
                       Language language, std::vector<std::string>& command, std::string& error);

// Whether the command's program is cl (Microsoft's compiler), whose list is
// its /I directories and then those of the INCLUDE variable (unless /X).
bool isMicrosoftCl(const std::vector<std::string>& arguments);
SearchList clSearchList(const std::vector<std::string>& arguments, const std::string& directory,
                        const std::string& includeVariable);

// gcc and clang options with which the compiler searches in a way its
// -E -v list does not tell (-I-, a virtual file system overlay).
bool searchesAnotherWay(const std::string& word);
// A -Wp, option that hands the preprocessor an output of its own
// (-Wp,-MD,FILE): run again, it would write that file.
bool writesThroughThePreprocessor(const std::string& word);

// Whether the program of a command follows cl's rules (cl, clang-cl).
bool followsClRules(const std::vector<std::string>& arguments);

}  // namespace vimbo::project
