// A compiler command of a build turned into one that only preprocesses,
// with the entry's own flags: what the compiler would compile, on standard
// output, without line markers.
#pragma once

#include <string>
#include <vector>

namespace vimbo::project {

// The program's name in lower case, without directory, ".exe" and a version
// behind it: /usr/bin/clang++-14 and CL.EXE give clang++ and cl.
std::string programName(const std::string& program);

enum class Family { gnu, msvc, unknown };
// gcc, x86_64-linux-gnu-g++-12, /usr/bin/clang++-14: gnu; cl, clang-cl: msvc.
Family familyOf(const std::string& program);

// The options a driver option hands on, one after each comma: "-Wp,-MD,x.d"
// gives -MD and x.d to the preprocessor (-Wa, to the assembler, -Wl, to
// the linker); none for any other word.
std::vector<std::string> optionsHandedOn(const std::string& word);

// Where the compiler stands in a command: past the launchers in front
// (ccache, sccache, distcc, icecc, buildcache), which only run it.
std::size_t compilerIndex(const std::vector<std::string>& arguments);

// The command's words with every "@file" (a response file, relative to
// `directory`) replaced by the words it holds, and so for each "@file" in
// those (also from `directory`, as gcc reads them), 16 deep at most; false
// with a message naming the file when one cannot be read: no regular file,
// larger than 1 MiB (or all of them together than 16 MiB), nested deeper,
// or naming itself.
bool expandResponseFiles(const std::vector<std::string>& arguments, const std::string& directory,
                         std::vector<std::string>& expanded, std::string& error);

// The preprocess-only command for a gcc, g++, clang, clang++, cc or c++
// command (-c, -o and dependency outputs dropped; -E -P added) or a cl or
// clang-cl one (/c, /Fo and the like dropped; /EP added); a launcher in
// front (ccache, sccache, distcc, icecc, buildcache) is left out. Macros
// that tell the time are fixed, so that two runs of one unit compare (and
// gcc's warning about that is kept from being an error); `fixLines` fixes
// __LINE__ too. False with a message for a compiler it does not know.
bool preprocessCommand(const std::vector<std::string>& arguments, std::vector<std::string>& command,
                       std::string& error, bool fixLines = false);

// How a preprocess-only command tells which files the unit reads.
enum class DependencyOutput {
    makeRule,      // gcc, clang: a make rule written into a file
    includeNotes,  // cl, clang-cl: a note per header on standard error
};

// Adds to a command that preprocessCommand made the options that have the
// compiler list every file it reads while it preprocesses: -MD -MF `ruleFile`
// (with a target of its own) for gcc and clang, /showIncludes for cl and
// clang-cl. Returns where the list comes.
DependencyOutput addDependencyOutput(std::vector<std::string>& command, const std::string& ruleFile);

}  // namespace vimbo::project
