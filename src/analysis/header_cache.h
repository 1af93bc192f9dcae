// The facts of every header read in a run, kept by the file's identity, so
// that each version of a header is read once however many lines include it.
// A header rewritten or changed in between has a new identity and is read again.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "analysis/facts_store.h"
#include "analysis/file_versions.h"
#include "analysis/header_facts.h"
#include "analysis/lookup_memos.h"
#include "platform/file_system.h"

namespace vimbo::analysis {

// Composes the facts kept (FactsStore), the version each name stands for in
// a run (FileVersions) and the lookups' memos (LookupMemos), and reads the
// headers whose facts are not kept.
class HeaderCache {
public:
    // For one run (a file, a tree walk) every file's facts are kept. A cache
    // that outlives runs keeps only files whose time stamps are settled, and
    // at most `maxEntries`.
    enum class Lifetime { run, process };
    // Headers are read through `fs`, which must outlive the cache.
    explicit HeaderCache(const vimbo::platform::FileSystemOps& fs = vimbo::platform::defaultFileSystemOps(),
                         Lifetime lifetime = Lifetime::run)
        : fs_(fs), lifetime_(lifetime), facts_(lifetime == Lifetime::process), versions_(facts_) {}

    const vimbo::platform::FileSystemOps& fileSystem() const { return fs_; }

    // The facts of the regular file at `path`, or null when it cannot be read;
    // whether one macro controls it only `withControl`.
    std::shared_ptr<const HeaderFacts> facts(const std::string& path, bool withControl = false);

    // The facts of a file of a run with everything it does with macros, read
    // whole; the facts are kept as for any header read. Null for a file
    // that can't be read; `tooLarge`, when given, is then set to the size of
    // one larger than maxFileSize (else left as it is).
    std::shared_ptr<const HeaderFacts> factsWithUses(const std::string& path, MacroUses& uses,
                                                     std::uint64_t* tooLarge = nullptr);

    // Files larger than this are not read (a header is then as one that
    // can't be read): set before the run, none by default.
    void setMaxFileSize(std::uint64_t bytes) { maxFileSize_ = bytes; }

    // The identity of the regular file at `path` (false when there is none).
    // In a run whose files are known (indexed), files change only where the
    // run rewrites them: each name's identity is looked up once, and again
    // only after `rewritten` names its file.
    bool identityOf(const std::string& path, vimbo::platform::FileIdentity& identity);
    // The version a run already knows `path` stands for, without a look at
    // the system: false where it would need one.
    bool knownVersion(const std::string& path, vimbo::platform::FileIdentity& identity);
    // Where the last "include" ends in that version, as this cache read it
    // whole (HeaderFacts::includeWordEnd): a rewrite that wraps includes
    // has nothing to do behind it.
    std::uint64_t includeWordEnd(const std::string& path, const vimbo::platform::FileIdentity& version);
    // The run's index, once it has read every file of the run through this
    // cache: a name of a run file then has the identity it was read with, as
    // long as the run has not rewritten that file. `files` must outlive the
    // cache's use.
    void useRunFiles(const RunFiles* files) { versions_.useRunFiles(files); }
    // RunFiles::reachedFromAnotherDirectory of the run's index (false without one).
    bool reachedFromAnotherDirectory(const std::string& path) const {
        return versions_.reachedFromAnotherDirectory(path);
    }
    // A file of the run is about to be rewritten: the identity it has now,
    // to hand to `rewritten` once the new version is in place (or the
    // attempt failed); every name of the old version is then looked up afresh.
    // `read`, when given, is the version the rewrite read, which the name
    // stands for unless it is known otherwise (one look less).
    vimbo::platform::FileIdentity aboutToRewrite(const std::string& path,
                                                 const vimbo::platform::FileIdentity* read = nullptr);
    void rewritten(const std::string& path, const vimbo::platform::FileIdentity& old) {
        versions_.rewritten(path, old);
    }
    // The rewrite of `path` from the version `read` wrapped includes only
    // between the offsets `wrapsFrom` and `wrapsTo` of it, and put in its
    // place the file `now` (device, file number and size). Where the facts
    // of `read` stay true of such a text, the name's next look that finds
    // that very file takes them without reading it.
    void carryFacts(const std::string& path, const vimbo::platform::FileIdentity& read,
                    const vimbo::platform::FileIdentity& now, std::uint64_t wrapsFrom, std::uint64_t wrapsTo);

    // How many headers were read from disk (for tests and measurements).
    std::size_t reads() const { return reads_; }

    // Verdicts (which macro, if any, a header may be wrapped in) by a key
    // the caller makes of the header's path and version and of the lookup
    // that reaches the headers it names; for caches of one run only, where
    // the files a header names stay as they are. False when none is known.
    bool remembersVerdicts() const { return lifetime_ == Lifetime::run; }
    // A number for a lookup's search paths and rules, for the keys of these
    // memos: a build's paths run to a kilobyte, and they hold a key per header.
    std::uint32_t contextNumber(const std::string& context) { return memos_.contextNumber(context); }
    // Where a name was found (or "" when it was not), by a key the caller
    // makes of the name, the includer's directory and the search paths; for
    // caches of one run, in which no header comes or goes.
    bool knownLookup(const std::string& key, std::string& path) {
        return lifetime_ == Lifetime::run && memos_.knownLookup(key, path);
    }
    void rememberLookup(const std::string& key, const std::string& path) {
        if (lifetime_ == Lifetime::run) memos_.rememberLookup(key, path);
    }
    bool knownVerdict(const std::string& key, std::string& verdict) {
        return lifetime_ == Lifetime::run && memos_.knownVerdict(key, verdict);
    }
    void rememberVerdict(const std::string& key, const std::string& verdict) {
        if (lifetime_ == Lifetime::run) memos_.rememberVerdict(key, verdict);
    }

    // Processors on several threads may share one cache; a header may then
    // be read twice at the same moment, never half-entered.

private:
    // Reads one version of a file whole, with its identity.
    vimbo::platform::ReadResult readVersion(const std::string& path, std::string& bytes,
                                            vimbo::platform::FileIdentity& identity,
                                            const vimbo::platform::FileIdentity* named);
    const vimbo::platform::FileSystemOps& fs_;
    Lifetime lifetime_;
    std::uint64_t maxFileSize_ = vimbo::platform::kNoSizeLimit;
    std::atomic<std::size_t> reads_{0};
    // Declared before versions_, which checks run files against it.
    FactsStore facts_;
    FileVersions versions_;
    LookupMemos memos_;
};

}  // namespace vimbo::analysis
