// The engine as a front end sees it for batch runs: files rewritten (or
// checked, or audited) one at a time, each with the lookups its build gives
// it, the files of one directory one after another.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vimbo/engine/failure.h"
#include "vimbo/engine/paths.h"

namespace vimbo::platform {
struct FileSystemOps;
}

namespace vimbo::engine {

// Which external guards are taken away instead of adding guards.
enum class Strip { none, all, wrong };

// Where the headers of one file are found, as a compiler finds them: a
// quoted name beside the file, then along `quotePath` and `searchPath`; an
// angle name along `searchPath` (both ";"-separated).
struct Lookup {
    std::string searchPath;
    std::string quotePath;
    // False when the build searches in a way these paths can't follow: no
    // header is then taken as found.
    bool followable = true;
    // cl's rules (cl, clang-cl): a quoted name not beside its includer is
    // looked for beside the files up the include stack, which only `unit`,
    // the file the entry compiles, is known to have none of.
    bool includeStack = false;
    std::string unit = {};
};

// One version of a file: which file it is, its size and the times of its
// last write and of its last change of any kind (which no user can set).
struct FileVersion {
    std::uint64_t device = 0, file = 0, size = 0;
    std::int64_t modified = 0, changed = 0;
    bool operator==(const FileVersion& other) const {
        return device == other.device && file == other.file && size == other.size && modified == other.modified &&
               changed == other.changed;
    }
};

struct RewriteSettings {
    Strip strip = Strip::none;
    bool backup = false;     // keep the old text as the ".Bak" sibling
    // Each file put in place tells the version it then is (FileOutcome::
    // written), for a caller that may put the old one back (--verify).
    bool noteVersions = false;
    bool keepLines = false;  // a "#line" after each block of wraps
    std::vector<std::string> precompiledHeaders;  // never wrapped, besides stdafx.h and pch.h
    // Only include lines on these lines of each file are wrapped (first and
    // last, from 1): those changed since a revision. Keys are paths as the
    // run names the files ("./" and ".." folded); a file without an entry
    // keeps every line. Null: every line of every file.
    std::shared_ptr<const std::map<std::string, std::vector<std::pair<std::size_t, std::size_t>>>> onlyLines;
};

// One include line a run would guard, take a guard from, or finds wrongly
// guarded.
struct Finding {
    std::size_t line = 0;    // from 1, in the file as it was
    std::size_t column = 0;  // from 1
    std::string include;     // the include line, without blanks around it
    std::string macro;       // the guard's macro
    std::string reason;      // an audit's problem; "" for a change
};

// An include line whose header no directory of the file's search holds.
struct UnresolvedInclude {
    std::size_t line = 0;    // from 1
    std::size_t column = 0;  // from 1
    std::string include;     // the include line, without blanks around it
    std::string header;      // the name it gives
    bool quoted = false;
    // A file of that name is in the project: the search misses a directory
    // of its own (a system header it does not reach is not).
    bool inProject = false;
};

struct FileOutcome {
    bool changed = false;  // guards were added (or taken away)
    Failure failure = Failure::none;
    std::string message;    // the library's message for the failure, without its line break
    std::string scratchLeft;  // a scratch file the failure concerns, when one is there
    std::vector<Finding> findings;  // the changes, or the audit's findings
    std::vector<UnresolvedInclude> unresolved;  // of a rewrite, in the order of the file
    // A "vimbo: off" mark that no "on" follows: where it is (line 0: none).
    std::size_t unclosedOffLine = 0, unclosedOffColumn = 0;
    // The new text waits beside the file to be put in place with its batch:
    // the outcome proper comes through the batch (see RewriteBatch).
    bool pending = false;
    // Said of the file's directory on the way (scratch files that a run cut
    // short left there, taken away), a line each.
    std::vector<std::string> notes;
    // With RewriteSettings::noteVersions: the file as the run left it.
    FileVersion written;
};

// The size of the largest file a batch run reads, unless told otherwise.
constexpr std::uint64_t kDefaultMaxFileSize = std::uint64_t{64} << 20;

// A file of the run that the index did not take: one larger than the run's
// limit (`size`), or one whose reading threw (`failure` tells what).
struct UnindexedFile {
    std::string path;
    std::uint64_t size = 0;
    std::string failure;  // "" for a file too large
};

// What the files of one batch run share: the headers read (each version of a
// header is read once), the backups written, and for a dry run the layer
// that keeps every write in memory.
class BatchContext {
public:
    explicit BatchContext(bool dryRun);
    // Files are read and written through `fs` (the system's by default);
    // a dry run lays its memory over it.
    BatchContext(bool dryRun, const vimbo::platform::FileSystemOps& fs);
    ~BatchContext();
    BatchContext(const BatchContext&) = delete;
    BatchContext& operator=(const BatchContext&) = delete;
    // In a dry run, the bytes the file would hold now; nothing when it was
    // not written, or when the file changed on disk since (the run keeps
    // only its edits against the file on disk).
    std::optional<std::string> written(const std::string& path) const;
    // The bytes of the file as the run was handed it (under a dry run's own
    // writes); nothing when it can't be read.
    std::optional<std::string> before(const std::string& path) const;

    // Reads every file of the run before any is rewritten (`jobs` at once),
    // for the rules that the whole run decides: a guard two headers share, or
    // that "#pragma GCC poison" names, or that another file defines, or that
    // a file undefines in front of a header the compiler remembers as seen;
    // a file the run holds under two names. `predefined`: the macros the
    // build's command lines define or undefine.
    // With `leaveOutLinked`, a file with several hard links (which a
    // rewrite would part from its twins) is left out of the run once read,
    // as if never listed: its path and number of links are returned.
    // With `lookupsOf` (the lookups a file of the run is compiled with), the
    // headers outside the run that its includes reach are read for these
    // rules too, each once.
    std::vector<std::pair<std::string, std::uint64_t>> index(
        const std::vector<std::string>& files, const std::vector<std::string>& predefined, unsigned jobs,
        bool leaveOutLinked = false, const std::function<std::vector<Lookup>(const std::string&)>& lookupsOf = {});
    // Before index(): files larger than `bytes` are left out of the run, and
    // a header larger than that is as one that can't be read (the include
    // is left alone); kDefaultMaxFileSize by default.
    void setMaxFileSize(std::uint64_t bytes);
    // Before index(): files (device and file number) that the caller gave
    // one hard link of its own, to keep them aside while the run goes on;
    // that link is no name of the build's, and a header with no other
    // counts as reached under one name.
    void linkedAside(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& files);
    // After index(): the files it left out for their size or because their
    // reading threw (out of memory, say), in the order of the list.
    const std::vector<UnindexedFile>& unindexed() const;
    // The size of the file as the index read it; 0 for a file it did not read.
    std::uint64_t indexedSize(const std::string& path) const;
    // Whether a file of the run includes a file of this name (so that it may
    // be part of other units than its own).
    bool includedByName(const std::string& path) const;
    // Each guard that two or more headers of the run share: "G: a.h, b.h".
    std::vector<std::string> sharedGuards() const;

    // A directory of the run as it was when the run first looked (the walk
    // that found its files): when its files are rewritten, a directory
    // that is no longer that one (swapped for another, or for a link) is
    // left alone. `leftovers`: the scratch names the walk saw in it, left
    // by a run cut short. Directories of files named otherwise are taken
    // as the index finds them.
    void expectDirectory(const std::string& directory, const DirectoryIdentity& identity,
                         std::vector<std::string> leftovers = {});
    // What putting files in place left to the user that no file's outcome
    // tells (a scratch file that could not be removed, say), a line each;
    // asked once every rewrite of the run is done.
    std::vector<std::string> problems();

private:
    friend class DirectoryRewriter;
    friend class RewriteBatch;
    struct State;
    std::unique_ptr<State> state_;
};

// The rewrites of one job (a thread) of a run, put in place a batch at a
// time: each new text is written beside its file first; a batch is then put
// on disk with one flush of the file system (not one per file), and only
// then is each file swapped in and checked. A power cut leaves every file
// old or new, never torn; a file that someone else saves, writes or
// deletes meanwhile is left as they left it.
class RewriteBatch {
public:
    // Told of each file whose outcome was pending, once it is put in place.
    using Done = std::function<void(std::size_t id, FileOutcome outcome)>;
    RewriteBatch(BatchContext& context, Done done);
    // finish()
    ~RewriteBatch();
    RewriteBatch(const RewriteBatch&) = delete;
    RewriteBatch& operator=(const RewriteBatch&) = delete;

    // Every file handed in is put in place (or left as it was), and the
    // last swaps are on disk.
    void finish();

private:
    friend class DirectoryRewriter;
    struct State;
    std::unique_ptr<State> state_;
};

// The files of one directory, one after another. The directory is opened
// once and held: its files are reached through it, never through a link,
// whatever is done to its path meanwhile; and other runs keep out of it
// while its files are under way.
class DirectoryRewriter {
public:
    // Without a batch, each file is put in place before rewrite returns.
    DirectoryRewriter(BatchContext& context, RewriteSettings settings, RewriteBatch* batch = nullptr);
    ~DirectoryRewriter();
    DirectoryRewriter(const DirectoryRewriter&) = delete;
    DirectoryRewriter& operator=(const DirectoryRewriter&) = delete;

    // An include is wrapped only where each of `others` that finds its
    // header finds the same header with the same guard (a header is part of
    // every unit that includes it). With a batch the outcome may be pending:
    // it then reaches the batch's Done under `id`.
    FileOutcome rewrite(const std::string& path, const Lookup& lookup, const std::vector<Lookup>& others,
                        std::size_t id = 0);
    // The external guards that do not control their header.
    FileOutcome audit(const std::string& path, const Lookup& lookup, const std::vector<Lookup>& others);

private:
    bool hold(const std::string& path, FileOutcome& outcome);
    struct State;
    std::unique_ptr<State> state_;
};

// The version of the file at `path` (a link is not followed); false when
// no regular file is there.
bool fileVersion(const std::string& path, FileVersion& version);

enum class PutBack { done, changed, failed };
// Puts `original` (a file the run kept aside, of the same file system where
// it can be) back in the place of `path` in one step, only while `path` is
// still the version the run left there (`written`) and its directory the
// one the run kept it from (`directory`): `changed` when someone else saved,
// wrote, deleted it or swapped the directory meanwhile, which then stays
// as they left it. What took the original's place is then at `original`.
PutBack putBack(const std::string& path, const std::string& original, const FileVersion& written,
                const DirectoryIdentity& directory);

}  // namespace vimbo::engine
