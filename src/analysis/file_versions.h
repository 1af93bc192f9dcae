// Which version (identity) of a file each name stands for during a run. In
// a run only its own rewrites change files, so a name is looked up once and
// again only after the run rewrote the file it named.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "analysis/facts_store.h"
#include "analysis/header_facts.h"
#include "platform/file_system.h"

namespace vimbo::analysis {

// What a run's index knows of its own files: which file (device and file
// number) a name stood for when the index read it; false for other names.
class RunFiles {
public:
    virtual ~RunFiles() = default;
    virtual bool readAs(const std::string& path, std::uint64_t& device, std::uint64_t& file) const = 0;
    // Whether the run's includes reach the file `path` names under a name in
    // another directory (a symbolic link to it): its quoted includes are
    // then found beside that name, not beside `path`.
    virtual bool reachedFromAnotherDirectory(const std::string& path) const {
        (void)path;
        return false;
    }
};

// Thread-safe. Its lock is taken before the facts store's (a run file's
// version and the facts carried are checked against the store in one hold),
// never the other way round.
class FileVersions {
public:
    // `facts` must outlive this: a run file's version is the one whose facts
    // the index kept there.
    explicit FileVersions(const FactsStore& facts) : facts_(facts) {}

    // The run's index has read every file (through the store): from now on
    // names looked up are remembered.
    void indexed();
    // The index's own files; `files` must outlive their use.
    void useRunFiles(const RunFiles* files);
    // RunFiles::reachedFromAnotherDirectory; false without an index.
    bool reachedFromAnotherDirectory(const std::string& path) const;

    // The version `path` is known to stand for (looked up before, or a run
    // file's as the index read it, then remembered by name); else false,
    // with `generation` the rewrite count to hand to `lookedUp`.
    bool known(const std::string& path, vimbo::platform::FileIdentity& identity, std::uint64_t& generation);
    // The same, without remembering a run file's name: every file of the
    // run is asked for once, and a tree of several hundred thousand names
    // would hold them all.
    bool knownVersion(const std::string& path, vimbo::platform::FileIdentity& identity);
    // `path` was looked up as `identity` after `known` gave `generation`:
    // remembered once indexed, unless a rewrite began or ended meanwhile
    // (the file looked up may be the one rewritten, as it was before).
    void lookedUp(const std::string& path, const vimbo::platform::FileIdentity& identity,
                  std::uint64_t generation);

    // A rewrite of `path` begins: its known version, or false when unknown.
    bool aboutToRewrite(const std::string& path, vimbo::platform::FileIdentity& identity);
    // It ended: `old` (all zero when not known: then every name) no longer
    // stands for any name, nor does what `path` was last known as.
    void rewritten(const std::string& path, const vimbo::platform::FileIdentity& old);
    // Counts each rewrite as it begins and as it ends.
    std::uint64_t rewriteCount();
    // No rewrite began, ended or was under way since the count was `generation`.
    bool quietSince(std::uint64_t generation);

    // HeaderCache::carryFacts: the facts of `read` in the store go to `now`
    // when the wraps leave them true.
    void carryFacts(const std::string& path, const vimbo::platform::FileIdentity& read,
                    const vimbo::platform::FileIdentity& now, std::uint64_t wrapsFrom, std::uint64_t wrapsTo);
    // The facts carried to `path` when `identity` is that very new file
    // (device, file number, size), without the old text's offsets; taken
    // once. Null otherwise.
    std::shared_ptr<HeaderFacts> carriedTo(const std::string& path, const vimbo::platform::FileIdentity& identity);

private:
    // With lock_ held.
    bool remembered(const std::string& path, vimbo::platform::FileIdentity& identity, bool keep);
    bool fromRunFiles(const std::string& path, vimbo::platform::FileIdentity& identity);
    void know(const std::string& path, const vimbo::platform::FileIdentity& identity);

    const FactsStore& facts_;
    std::mutex lock_;
    bool indexed_ = false;
    // `inFlight_` counts rewrites begun and not ended.
    std::uint64_t rewrites_ = 0;
    unsigned inFlight_ = 0;
    const RunFiles* runFiles_ = nullptr;
    // Files (device, file) whose version the run replaced; all of them when
    // one replaced was not known.
    std::set<std::pair<std::uint64_t, std::uint64_t>> retired_;
    bool allRetired_ = false;
    std::unordered_map<std::string, vimbo::platform::FileIdentity> known_;
    // Each name points to its key in known_ (a node's key stays where it is).
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::vector<const std::string*>> namesOf_;
    struct Carried {
        vimbo::platform::FileIdentity now;
        std::shared_ptr<const HeaderFacts> facts;
    };
    std::unordered_map<std::string, Carried> carried_;
};

}  // namespace vimbo::analysis
