// What the files of a batch run say of macros, read once before the run:
// the rules a guard must pass that no single header shows.
#pragma once

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "analysis/header_cache.h"
#include "analysis/header_facts.h"
#include "analysis/header_lookup.h"
#include "analysis/name_numbers.h"
#include "analysis/path_pool.h"

namespace vimbo::analysis {

// A file of the run the index took no facts of, though it was there: one
// larger than the cache reads (`size`), or one whose reading threw.
struct UnindexedFile {
    std::size_t index = 0;  // into the files of the run
    std::uint64_t size = 0;
    std::exception_ptr thrown;  // null for a file too large
};

class RunIndex : public RunFiles {
public:
    // Reads every file of the run through the cache, `jobs` at once, and
    // leaves their facts in it. With `linked`, a file with several hard
    // links is left out, and its path and number of links go there (in the
    // order of `files`). With `unindexed`, the files too large or whose
    // reading threw go there, in the order of `files`; the run goes on
    // without them. What throws while the index itself grows is thrown on
    // once every job has stopped.
    //
    // With `lookupsOf` (the lookups a file of the run is compiled with), the
    // headers outside the run that the run's includes reach, and the ones
    // those reach, are read too, once each: what they say of macros counts
    // as the run's files' does, and every name an include finds a file by
    // is noted.
    using LookupsOf = std::function<std::vector<HeaderLookup>(const std::string& file)>;
    void build(HeaderCache& cache, const std::vector<std::string>& files, unsigned jobs,
               std::vector<std::pair<std::string, std::uint64_t>>* linked = nullptr,
               std::vector<UnindexedFile>* unindexed = nullptr, const LookupsOf& lookupsOf = {});
    // A macro the build defines or undefines on its command lines (-D, -U).
    void predefine(const std::string& macro) { predefined_.insert(macro); }
    // A file given one hard link aside by whoever runs the run (--verify
    // keeps the originals so): that link is no name the build reaches.
    void linkedAside(std::uint64_t device, std::uint64_t file) { aside_.insert({device, file}); }
    // The names a file has that the build may reach it by.
    std::uint64_t linksOf(const vimbo::platform::FileIdentity& identity) const {
        return identity.links - (identity.links > 1 && aside_.count({identity.device, identity.file}) ? 1 : 0);
    }

    // Whether `guard`, which controls `header` and which the header defines,
    // may stand for it: no "#pragma GCC poison" names it, and no other
    // header of the run is controlled by it (the second would never be
    // opened, and would drop out of the build's dependencies).
    bool ownsGuard(const std::string& header, const std::string& guard) const;
    // Whether a test of `guard` may stand in front of `header` without
    // changing the build's dependencies: only the header itself can have
    // defined it, so a wrap that skips the header skips one the compiler
    // opened before. No other file of the run defines it, and no command
    // line of the build defines or undefines it (the compiler opens a header
    // whose guard was defined before it and skips only its body). Where the
    // compiler also remembers the file as seen ("#pragma once", or an
    // "#import" of its name somewhere in the run), no file may undefine it
    // either.
    bool soleDefiner(const std::string& header, const HeaderFacts& facts, const std::string& guard) const;
    // Whether `header`'s file has two names that count: two files of the
    // run are it, or one unit's includes reach it under two names (the
    // compiler opens and records each).
    bool otherNameOf(const std::string& header) const;
    bool reachedFromAnotherDirectory(const std::string& path) const override;
    // Whether a file of the run undefines the macro, or the build defines or
    // undefines it on a command line.
    bool undefinedOrPredefined(const std::string& macro) const { return undefined_.count(macro) || predefined_.count(macro); }
    // Whether `header` is a header of the run that `macro` controls.
    bool guardedBy(const std::string& macro, const std::string& header) const {
        return owns(macro, canonicalOf(header));
    }
    // Whether a file of the run includes or imports a file of this name.
    bool includedByName(const std::string& path) const;
    // Whether the run's own files are read (headers outside may follow).
    bool listedRead() const { return listedRead_; }
    // The header of the run, other than `header`, that `macro` controls; ""
    // when there is none.
    std::string otherHeaderGuardedBy(const std::string& macro, const std::string& header) const;
    // Each macro that controls two or more headers of the run, with their paths.
    std::vector<std::pair<std::string, std::vector<std::string>>> sharedGuards() const;
    // The file a run file's name stood for when it was read.
    bool readAs(const std::string& path, std::uint64_t& device, std::uint64_t& file) const override;

private:
    // Files are told apart by their canonical paths: a file the run rewrites
    // gets a new identity, not a new name. A file is a number into
    // canonicals_ and paths_ (a large tree has a hundred thousand files:
    // each costs a number where it is named again).
    void add(const std::string& path, const std::string& canonical, const HeaderFacts& facts, const MacroUses& uses,
             bool listed = true);
    // Reads the headers outside the run that includes reach (see build).
    void follow(HeaderCache& cache, const LookupsOf& lookupsOf);
    // The includes of each file, kept from add() for follow(): file f's are
    // includes_[includesFrom_[f]] up to the next file's start, each the
    // number of its name in includeNames_ times two, plus one when quoted.
    // A tree's files include a few thousand names a hundred thousand times.
    std::vector<std::uint32_t> includes_, includesFrom_;
    NameNumbers includeNames_;
    // The canonical path of a header as an include found it, worked out once
    // per name (it asks the system about every directory on the way).
    std::string canonicalOf(const std::string& path) const;
    mutable vimbo::platform::CanonicalPaths canonicalPaths_;
    mutable std::mutex canonicalLock_;
    mutable std::unordered_map<std::string, std::uint32_t> canonicalByName_;
    mutable PathPool canonicalNames_;
    bool owns(const std::string& guard, const std::string& canonical) const;

    // Guard: the run's headers it controls, in the order of their paths.
    std::map<std::string, std::vector<std::uint32_t>> owners_;
    // Each file's canonical path, and the path it was named by (for messages).
    PathPool canonicals_, paths_;
    // Which file defines which macro (by its nameHash, in two halves to take
    // 12 bytes), sorted by macro once the run is read: a large tree makes
    // hundreds of thousands of definitions. A header's definition of its own
    // guard is left out: a file that owns the guard never holds it back.
    // Macros whose hashes agree share their definers, which can only hold a
    // guard back. A deque grows without copying.
    struct Definition {
        std::uint32_t high, low, file;
        bool operator<(const Definition& other) const {
            return std::tie(high, low, file) < std::tie(other.high, other.low, other.file);
        }
        bool operator==(const Definition& other) const {
            return high == other.high && low == other.low && file == other.file;
        }
    };
    static Definition definition(const std::string& macro, std::uint32_t file);
    std::deque<Definition> definitions_;
    // Each file by the hash of the name it was listed by, spelt one way
    // (see plainSpelling), in the same 12 bytes: an include that finds a
    // file of the run under that name needs no look at the system for its
    // canonical path or (through the header cache) its identity.
    std::vector<Definition> named_;
    // The number of the run file listed under `path` (however spelt).
    bool numberOf(const std::string& path, std::uint32_t& file) const;
    // Each file's device and file number as it was read.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> versions_;
    std::set<std::string> undefined_, poisoned_, predefined_, importedNames_, includedNames_;
    // The canonical paths of the files with two names that count (see otherNameOf).
    std::set<std::string> severalNames_;
    // Files of the run some include reaches through a name in another
    // directory; told only once the follow is done.
    std::set<std::string> reachedElsewhere_;
    bool followed_ = false;
    std::set<std::pair<std::uint64_t, std::uint64_t>> aside_;
    bool listedRead_ = false;
};

}  // namespace vimbo::analysis
