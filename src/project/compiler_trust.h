// Which compilers --verify may run. A build's database names the program
// of each unit. Named on the command line (-p), the database is the user's
// choice, and so are its programs. Named only by a .vimbo.toml, a file of
// the repository, it is the repository's: a program inside the repository,
// or one its command makes the compiler run or load, would be the
// repository's choice too, and that unit is not verified.
#pragma once

#include <string>
#include <vector>

namespace vimbo::project {

struct CompilerTrust {
    bool databaseNamedByUser = true;
    // The directories that count as the repository: the git work tree, the
    // current directory, those of the .vimbo.toml and of the database.
    std::vector<std::string> repository;
    // What a refusal tells the user to do ("": name the database with -p).
    std::string remedy;
};

// Why the unit's preprocess command (its program first, run in
// `directory`) may not run; "" when it may.
std::string untrustedCommand(const std::vector<std::string>& command, const std::string& directory,
                             const CompilerTrust& trust);

}  // namespace vimbo::project
