#include "batch/run_lookups.h"
#include "batch/told.h"

#include <algorithm>
#include <iostream>
#include <set>

#include <filesystem>
#include "vimbo/engine/paths.h"

using vimbo::engine::Lookup;

namespace vimbo::batch {

using namespace vimbo::project;
namespace {

bool sameLookup(const Lookup& a, const Lookup& b) {
    return a.searchPath == b.searchPath && a.quotePath == b.quotePath && a.followable == b.followable &&
           a.includeStack == b.includeStack && a.unit == b.unit;
}

void addDistinct(std::vector<Lookup>& lookups, const Lookup& lookup) {
    if (std::none_of(lookups.begin(), lookups.end(), [&](const Lookup& l) { return sameLookup(l, lookup); }))
        lookups.push_back(lookup);
}

void appendEntries(std::string& path, const std::string& more) {
    for (const std::string& entry : vimbo::engine::searchPathEntries(more)) {
        const std::vector<std::string> have = vimbo::engine::searchPathEntries(path);
        if (std::find(have.begin(), have.end(), entry) == have.end()) path += (path.empty() ? "" : ";") + entry;
    }
}

// A file the run compiles: the extensions of C and C++ sources (".C" is C++'s).
bool isSource(const std::string& file) {
    const std::string extension = std::filesystem::path(file).extension().string();
    for (const char* source : {".c", ".cc", ".cp", ".cxx", ".cpp", ".CPP", ".CC", ".c++", ".C", ".mm"})
        if (extension == source) return true;
    return false;
}

const char* nameOf(Language language) { return language == Language::cxx ? "C++" : "C"; }

}  // namespace

Lookup searchPathLookup(const std::string& searchPath) {
    Lookup lookup;
    lookup.searchPath = searchPath;
    return lookup;
}

RunLookups::RunLookups(const CompileDatabase& database, const CompilerTrust& trust, const std::string& searchPath,
                       unsigned jobs, vimbo::engine::BatchObserver& observer)
    : database_(&database) {
    const std::vector<SearchAnswer> answers = askCompilers(database.configurations(), trust, jobs);
    std::set<std::string> told;
    union_.followable = true;
    for (std::size_t i = 0; i < answers.size(); ++i) {
        const SearchAnswer& answer = answers[i];
        // A problem of the database itself was told as it was read.
        if (!answer.answered && !database.configurations()[i].problemTold && told.insert(answer.problem).second)
            Told(observer) << "vimbo: note: the build's compiler in " << database.configurations()[i].directory << ": "
                      << answer.problem << "; headers of its units are not looked for\n";
        lookups_.push_back(project::lookupOf(answer));
        const Lookup& lookup = lookups_.back();
        appendEntries(union_.searchPath, lookup.searchPath);
        appendEntries(union_.quotePath, lookup.quotePath);
        union_.followable = union_.followable && lookup.followable;
        union_.includeStack = union_.includeStack || lookup.includeStack;
    }
    for (Lookup& lookup : lookups_) {
        if (lookup.followable) appendEntries(lookup.searchPath, searchPath);
        addDistinct(distinct_, lookup);
    }
    appendEntries(union_.searchPath, searchPath);
}

RunLookups::RunLookups(const CompilerChoice& choice, const std::vector<std::string>& files,
                       const std::function<std::string(const std::string&)>& searchPathOf, unsigned jobs,
                       vimbo::engine::BatchObserver& observer)
    : searchPathOf_(searchPathOf) {
    bool c = false, cxx = false;
    std::set<std::string> paths;
    for (const std::string& file : files) {
        // Only a source tells what the run compiles.
        Language language;
        if (isSource(file)) (languageOfName(file, language) && language == Language::c ? c : cxx) = true;
        paths.insert(searchPathOf(file));
    }
    if (!c && !cxx) c = cxx = true;
    if (c) languages_.push_back(Language::c);
    if (cxx) languages_.push_back(Language::cxx);
    searchPaths_.assign(paths.begin(), paths.end());
    std::vector<SearchQuestion> questions;
    for (Language language : {Language::c, Language::cxx})
        for (const std::string& path : searchPaths_) {
            SearchQuestion question;
            question.command.push_back(!choice.program.empty() ? choice.program
                                       : language == Language::cxx ? "c++"
                                                                   : "cc");
            for (const std::string& entry : vimbo::engine::searchPathEntries(path)) question.command.push_back("-I" + entry);
            question.command.insert(question.command.end(),
                                    {"-E", "-v", "-x", language == Language::cxx ? "c++" : "c", "-"});
            questions.push_back(std::move(question));
        }
    const std::vector<SearchAnswer> answers = askCompilers(questions, choice.trust, jobs);
    std::set<std::string> told;
    for (std::size_t i = 0; i < answers.size(); ++i) {
        const SearchAnswer& answer = answers[i];
        const std::string& program = questions[i].command.front();
        const std::string& path = searchPaths_[i % searchPaths_.size()];
        if (answer.cantStart) {
            // No compiler on the machine: the directories given, alone.
            if (told.insert(program).second)
                Told(observer) << "vimbo: warning: can't run " << program
                          << " to ask for its search list; the compiler's own directories are unknown, and headers "
                             "are looked for along the search path alone (name the compiler with --compiler)\n";
            lookups_.push_back(searchPathLookup(path));
            guessed_ = true;
            continue;
        }
        if (!answer.answered && told.insert(program + answer.problem).second)
            Told(observer) << "vimbo: note: " << answer.problem << "; no header is looked for in "
                      << nameOf(i < searchPaths_.size() ? Language::c : Language::cxx) << " files\n";
        lookups_.push_back(project::lookupOf(answer));
    }
}

const Lookup& RunLookups::lookupOf(Language language, const std::string& searchPath) const {
    const std::size_t at = static_cast<std::size_t>(
        std::lower_bound(searchPaths_.begin(), searchPaths_.end(), searchPath) - searchPaths_.begin());
    return lookups_[(language == Language::cxx ? searchPaths_.size() : 0) + at];
}

std::pair<Lookup, std::vector<Lookup>> RunLookups::lookupsFor(const std::string& path, bool includedByName) const {
    if (database_) {
        const std::vector<std::size_t>& configurations = database_->configurationsOf(path);
        if (configurations.empty())
            return {union_, distinct_.size() > 1 ? distinct_ : std::vector<Lookup>{}};
        Lookup lookup = lookups_[configurations.front()];
        // The file the entry compiles has no include stack above it.
        if (lookup.includeStack && !includedByName) lookup.unit = path;
        const bool shared = distinct_.size() > 1 && (configurations.size() != 1 || includedByName);
        return {lookup, shared ? distinct_ : std::vector<Lookup>{}};
    }
    // A source another file includes (a unity build's "impl.c") is compiled
    // in the includer's language too; a .hpp is C++'s wherever it is included.
    Language own;
    const std::vector<Language> languages =
        languageOfName(path, own) && !(includedByName && isSource(path)) ? std::vector<Language>{own} : languages_;
    const std::string searchPath = searchPathOf_(path);
    std::vector<Lookup> all;
    for (Language language : languages)
        for (const std::string& other : searchPaths_) addDistinct(all, lookupOf(language, other));
    return {lookupOf(languages.front(), searchPath), all.size() > 1 ? all : std::vector<Lookup>{}};
}

}  // namespace vimbo::batch
