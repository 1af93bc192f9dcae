// The facts of every header read in a run, kept by the file's identity, so
// that each version of a header is read once however many lines include it.
// A header rewritten or changed in between has a new identity and is read again.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

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

class HeaderCache {
public:
    // For one run (a file, a tree walk) every file's facts are kept. A cache
    // that outlives runs keeps only files whose time stamps are settled, and
    // at most `maxEntries`.
    enum class Lifetime { run, process };
    // Headers are read through `fs`, which must outlive the cache.
    explicit HeaderCache(const vimbo::platform::FileSystemOps& fs = vimbo::platform::defaultFileSystemOps(),
                         Lifetime lifetime = Lifetime::run)
        : fs_(fs), lifetime_(lifetime) {}

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
    void useRunFiles(const RunFiles* files);
    // A file of the run is about to be rewritten: the identity it has now,
    // to hand to `rewritten` once the new version is in place (or the
    // attempt failed); every name of the old version is then looked up afresh.
    // `read`, when given, is the version the rewrite read, which the name
    // stands for unless it is known otherwise (one look less).
    vimbo::platform::FileIdentity aboutToRewrite(const std::string& path,
                                                 const vimbo::platform::FileIdentity* read = nullptr);
    void rewritten(const std::string& path, const vimbo::platform::FileIdentity& old);
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
    std::uint32_t contextNumber(const std::string& context);
    // Where a name was found (or "" when it was not), by a key the caller
    // makes of the name, the includer's directory and the search paths; for
    // caches of one run, in which no header comes or goes.
    bool knownLookup(const std::string& key, std::string& path) { return known(lookups_, key, path); }
    void rememberLookup(const std::string& key, const std::string& path) { remember(lookups_, key, path); }
    bool knownVerdict(const std::string& key, std::string& verdict) { return known(verdicts_, key, verdict); }
    void rememberVerdict(const std::string& key, const std::string& verdict) { remember(verdicts_, key, verdict); }

    // Processors on several threads may share one cache; a header may then
    // be read twice at the same moment, never half-entered.

private:
    // Discovery compares macros with the base name, so a file reached under
    // two names has an entry for each name: the key holds a 64-bit hash of
    // it (a run keeps a hundred thousand entries; two names of one file
    // whose hashes agree are not to be met).
    struct Key {
        std::uint64_t device, file, name;
        bool operator==(const Key& other) const {
            return device == other.device && file == other.file && name == other.name;
        }
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const noexcept {
            return static_cast<std::size_t>(key.file * 0x9E3779B97F4A7C15ull ^ key.device ^ key.name);
        }
    };
    static Key keyOf(const vimbo::platform::FileIdentity& identity, const std::string& baseName);
    // With lock_ held: the facts kept of that very version, or null.
    std::shared_ptr<const HeaderFacts> factsOf(const std::string& baseName,
                                               const vimbo::platform::FileIdentity& version) const;
    // Keeps facts under the identity of the version they were read from
    // (for a cache across runs, only settled versions); returns them. The
    // facts hold that identity, to tell a later version apart.
    std::shared_ptr<const HeaderFacts> remember(const std::string& baseName,
                                                const vimbo::platform::FileIdentity& identity,
                                                std::shared_ptr<HeaderFacts> facts);
    // Reads one version of a file whole, with its identity.
    vimbo::platform::ReadResult readVersion(const std::string& path, std::string& bytes,
                                            vimbo::platform::FileIdentity& identity,
                                            const vimbo::platform::FileIdentity* named);
    std::uint64_t rewriteCount();
    static constexpr std::size_t kMaxProcessEntries = 100000;
    const vimbo::platform::FileSystemOps& fs_;
    Lifetime lifetime_;
    std::uint64_t maxFileSize_ = vimbo::platform::kNoSizeLimit;
    std::mutex lock_;
    std::unordered_map<Key, std::shared_ptr<const HeaderFacts>, KeyHash> entries_;
    // The memos are asked at every include by every job: each has a lock of
    // its own, apart from the one over the files' facts.
    struct Memo {
        std::unordered_map<std::string, std::string> values;
        std::mutex lock;
    };
    bool known(Memo& memo, const std::string& key, std::string& value);
    void remember(Memo& memo, const std::string& key, const std::string& value);
    Memo verdicts_, lookups_;
    std::unordered_map<std::string, std::uint32_t> contexts_;
    std::mutex contextsLock_;
    // Once factsWithUses has read the run's files: each name's identity, and
    // the names looked up for each file (device, file).
    void know(const std::string& path, const vimbo::platform::FileIdentity& identity);
    bool indexed_ = false;
    // Counts each rewrite as it begins and as it ends; `inFlight_` those
    // begun and not ended.
    std::uint64_t rewrites_ = 0;
    unsigned inFlight_ = 0;
    // No rewrite began, ended or was under way since `rewrites_` was `generation`.
    bool quietSince(std::uint64_t generation);
    // With lock_ held: the identity a name is known by (looked up before, or
    // a run file's as the index read it, then remembered by name with
    // `keep`), with no look at the system.
    bool remembered(const std::string& path, vimbo::platform::FileIdentity& identity, bool keep = true);
    // The identity the index read a run file with, while it still holds.
    bool fromRunFiles(const std::string& path, vimbo::platform::FileIdentity& identity);
    const RunFiles* runFiles_ = nullptr;

public:
    const RunFiles* runFiles() const { return runFiles_; }
    // Files (device, file) whose version the run replaced; all of them when
    // one replaced was not known.
    std::set<std::pair<std::uint64_t, std::uint64_t>> retired_;
    bool allRetired_ = false;
    std::unordered_map<std::string, vimbo::platform::FileIdentity> known_;
    // The facts carried to the new version of a name (see carryFacts).
    struct Carried {
        vimbo::platform::FileIdentity now;
        std::shared_ptr<const HeaderFacts> facts;
    };
    std::unordered_map<std::string, Carried> carried_;
    std::shared_ptr<HeaderFacts> carriedTo(const std::string& path, const vimbo::platform::FileIdentity& identity);
    // Each name points to its key in known_ (a node's key stays where it is).
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::vector<const std::string*>> namesOf_;
    std::atomic<std::size_t> reads_{0};
};

}  // namespace vimbo::analysis
