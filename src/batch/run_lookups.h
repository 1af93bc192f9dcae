// Which lookups each file of a batch run is judged with. Every lookup is a
// compiler's own search list: each configuration of the build's database
// asked of its compiler; without a database, the compiler for C and the one
// for C++ asked with the search path's directories as -I. A file is
// rewritten with one lookup and must agree with every other it may be
// compiled with (a header: every configuration and language that can
// include it).
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "vimbo/engine/batch_observer.h"
#include "project/compile_database.h"
#include "project/compiler_lookups.h"

namespace vimbo::batch {

struct CompilerChoice {
    std::string program;     // "" for the defaults, cc for C and c++ for C++
    vimbo::project::CompilerTrust trust;     // whether a program a configuration file names may run
};

// A compiler's rules along `searchPath` alone (";"-separated).
vimbo::engine::Lookup searchPathLookup(const std::string& searchPath);

class RunLookups {
public:
    // Each configuration of `database`, asked of its compiler, with
    // `searchPath` after what it says (a header only it finds is one the
    // compiler could not include at all). A compiler that can't answer is
    // told to `observer`, as in the other constructor.
    RunLookups(const vimbo::project::CompileDatabase& database, const vimbo::project::CompilerTrust& trust, const std::string& searchPath,
               unsigned jobs, vimbo::engine::BatchObserver& observer);
    // The compiler of `choice` for each language the run holds (C and C++
    // when it holds both, or only headers), with each distinct search path
    // of `files` given as -I.
    RunLookups(const CompilerChoice& choice, const std::vector<std::string>& files,
               const std::function<std::string(const std::string&)>& searchPathOf, unsigned jobs,
               vimbo::engine::BatchObserver& observer);

    // The lookup `path` is rewritten with, and the others it must agree
    // with (none when it has only the one). `includedByName`: a file of the
    // run includes a file of this name (a source so included is a header too).
    std::pair<vimbo::engine::Lookup, std::vector<vimbo::engine::Lookup>> lookupsFor(const std::string& path,
                                                                                  bool includedByName) const;
    // Whether a compiler could not be run, so that its search path alone is searched.
    bool guessed() const { return guessed_; }

private:
    const vimbo::project::CompileDatabase* database_ = nullptr;
    std::vector<vimbo::engine::Lookup> lookups_;  // one per configuration
    vimbo::engine::Lookup union_;                 // database: for files no entry compiles
    std::vector<vimbo::engine::Lookup> distinct_;  // database: each different lookup once
    // Without a database: the lookup of each (language, search path).
    std::vector<vimbo::project::Language> languages_;
    std::vector<std::string> searchPaths_;
    std::function<std::string(const std::string&)> searchPathOf_;
    const vimbo::engine::Lookup& lookupOf(vimbo::project::Language language, const std::string& searchPath) const;
    bool guessed_ = false;
};

}  // namespace vimbo::batch
