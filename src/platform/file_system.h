// The only door to the operating system. Everything above this layer names
// paths in the system's own form ("\\" separators) and goes through a table
// of the operations below, handed to it by whoever sets it to work (as a
// compiler front end hands its virtual file system to its users); each
// platform fills the system's table with its own calls.
//
// A dry run hands in a table that keeps writes in memory (MemoryOverlay);
// tests hand in a copy of the system's with one entry replaced, to make one
// operation fail (a hard read error, a failed rename, ...).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "vimbo/engine/paths.h"

namespace vimbo::platform {

using FileHandle = std::intptr_t;
constexpr FileHandle kNoFile = -1;

// What tells one version of a file from another: which file it is and, so
// that a file changed in place counts as new, its size, its modification
// time and the time of its last change of any kind, which no user can set
// back (a file rewritten at the same size with its time stamp restored is
// another version all the same).
struct FileIdentity {
    std::uint64_t device = 0, file = 0, size = 0;
    std::int64_t modified = 0;  // nanoseconds, or the platform's own unit
    std::int64_t changed = 0;   // the same, for the status change (ctime)
    // The modification time lies far enough in the past that another change
    // would show in it; a file written within the last moments may change
    // again within the same clock tick, keeping size and time.
    bool settled = true;
    // Who may do what with it, as the platform keeps it: the permission bits,
    // owner and group (POSIX) or the attributes (Windows). A change of them
    // shows in `changed`.
    std::uint32_t mode = 0, owner = 0, group = 0;
    // Names the file has (hard links); a rewrite gives one of them a new file.
    std::uint64_t links = 1;
    // The same file as `kept` (whatever it holds now) with no other name:
    // one that may be written over in its place.
    bool isAloneAs(const FileIdentity& kept) const {
        return device == kept.device && file == kept.file && links == 1;
    }
    bool operator==(const FileIdentity& other) const {
        return device == other.device && file == other.file && size == other.size && modified == other.modified &&
               changed == other.changed;
    }
};

enum class Exchange { swapped, unsupported, failed };

// Which directory a path leads to (see vimbo/engine/paths.h, where the
// platform's directoryIdentity is declared).
using vimbo::engine::DirectoryIdentity;

struct FileSystemOps {
    // What the operations share, handed to each as `self`: an overlay keeps
    // its state here (as an SQLite VFS keeps its own in itself). The
    // system's own table has none, or a directory it holds (HeldDirectory).
    void* context;
    // True for any existing path, directories included; no access right is tested.
    bool (*xExists)(const FileSystemOps& self, const std::string& path);
    // True when the path itself is a symbolic link (or another reparse point).
    bool (*xIsLink)(const FileSystemOps& self, const std::string& path);
    // True when both paths exist and name one and the same file.
    bool (*xSameFile)(const FileSystemOps& self, const std::string& a, const std::string& b);
    // The identity of an existing regular file; false for anything else.
    bool (*xIdentity)(const FileSystemOps& self, const std::string& path, FileIdentity& identity);
    // The identity of the regular file the path itself names: false for a
    // link (not followed) and for anything else. What a rewrite replaces is
    // held to the version it read with this one look.
    bool (*xIdentityNoFollow)(const FileSystemOps& self, const std::string& path, FileIdentity& identity);
    // The identity of an open file: what was read through the handle, even
    // when its name has meanwhile been given to another file.
    bool (*xHandleIdentity)(const FileSystemOps& self, FileHandle file, FileIdentity& identity);
    // Opens an existing regular file for reading; directories, devices and
    // pipes are refused, since reading them could fail late or never end.
    // With `known`, the version the name stands for as the caller learnt it
    // within the run: the open is not looked at again, and the caller holds
    // what it reads to that version's size (so a device or a pipe put in the
    // file's place meanwhile can't make it read for ever).
    FileHandle (*xOpenRead)(const FileSystemOps& self, const std::string& path, const FileIdentity* known);
    // Creates a file that must not exist yet. Files created here are open to
    // their owner alone until copyPermissions widens them: the text they are
    // to hold may be private.
    FileHandle (*xCreateNew)(const FileSystemOps& self, const std::string& path);
    // Creates a regular file or truncates an existing one. With `expected`,
    // only that very file (the same file, with no other name) is opened, and
    // none is created: a file put in its place meanwhile is left alone.
    FileHandle (*xCreateTruncate)(const FileSystemOps& self, const std::string& path, const FileIdentity* expected);
    // Opens that very file (`expected`: the same file, with no other name,
    // still of that size and modification time) to be written over from
    // its start, as it is: nothing is cut here, so
    // a text at least as long as the old one frees no block (where the file
    // system discards what it frees, that waits on the disk). A file put in
    // its place meanwhile is left alone, and so is one that anyone else has
    // open (or where that can't be told).
    FileHandle (*xOpenOverwrite)(const FileSystemOps& self, const std::string& path, const FileIdentity& expected);
    // Cuts (or extends) an open file to `size` bytes.
    bool (*xSetSize)(const FileSystemOps& self, FileHandle file, std::uint64_t size);
    // Bytes read (> 0), 0 at the end of the file, -1 on a hard error.
    std::int64_t (*xRead)(const FileSystemOps& self, FileHandle file, char* buffer, std::size_t size);
    // Writes all bytes or reports false.
    bool (*xWrite)(const FileSystemOps& self, FileHandle file, const char* data, std::size_t size);
    // False when the system reports an error on closing (lost written data).
    bool (*xClose)(const FileSystemOps& self, FileHandle file);
    // Removes a file (never a directory).
    bool (*xRemove)(const FileSystemOps& self, const std::string& path);
    // Moves a file to a name that does not exist; across devices it copies,
    // permissions included.
    bool (*xRename)(const FileSystemOps& self, const std::string& from, const std::string& to);
    // Puts a file in the place of an existing one in a single step, so that
    // a reader sees the old file or the new one, never none; false (and
    // both files as they were) when it cannot.
    bool (*xReplace)(const FileSystemOps& self, const std::string& from, const std::string& to);
    // Swaps two existing files in one step: each name then holds what the
    // other held. `unsupported` (both as they were) where the system or the
    // file system cannot, and callers may replace instead; `failed` when
    // it could but did not (one of them is gone, say).
    Exchange (*xExchange)(const FileSystemOps& self, const std::string& a, const std::string& b);
    // True when an existing file may not be written: its permissions or
    // attributes say so, for this process, or its file system is read-only.
    // `known`, when given, is the version the path stands for, as the caller
    // learnt it (its permissions need no second look).
    bool (*xReadOnly)(const FileSystemOps& self, const std::string& path, const FileIdentity* known);
    // Gives `to` the permission bits (or attributes) of `from`, and its owner
    // and group where this process may set them. False only when the
    // permissions could not be set; then `to` is never left more open than
    // `from`. Set-user and set-group bits are kept only with the owner.
    // `fromKnown` and `toKnown`, when given, are the versions the paths
    // stand for, as the caller learnt them.
    bool (*xCopyPermissions)(const FileSystemOps& self, const std::string& from, const std::string& to,
                             const FileIdentity* fromKnown, const FileIdentity* toKnown);
    // Gives `to` exactly the extended attributes of `from` (and with them
    // POSIX ACLs and security labels): those `from` lacks are removed. True
    // where the platform or file system has none. False when one could not
    // be set or removed.
    bool (*xCopyAttributes)(const FileSystemOps& self, const std::string& from, const std::string& to);
    // Puts what was written through a handle on disk, past any cache, before
    // anything names it (a rename publishes only text that a power cut
    // can't take back); false when the system says it could not.
    bool (*xSync)(const FileSystemOps& self, FileHandle file);
    // Puts everything written so far on the file system that holds `path`
    // on disk in one go (a batch of files costs one flush, not one each);
    // where the platform can't (see wholeFileSystemSync), only the names in
    // `path`'s directory. False when the system says it could not.
    bool (*xSyncFileSystem)(const FileSystemOps& self, const std::string& path);
    // Whether xSyncFileSystem puts the files' data on disk too; where not,
    // each file is synced by itself before it is closed.
    bool wholeFileSystemSync;

    // Each operation called with this table as `self`.
    bool exists(const std::string& path) const { return xExists(*this, path); }
    bool isLink(const std::string& path) const { return xIsLink(*this, path); }
    bool sameFile(const std::string& a, const std::string& b) const { return xSameFile(*this, a, b); }
    bool identity(const std::string& path, FileIdentity& identity) const { return xIdentity(*this, path, identity); }
    bool identityNoFollow(const std::string& path, FileIdentity& identity) const {
        return xIdentityNoFollow(*this, path, identity);
    }
    bool handleIdentity(FileHandle file, FileIdentity& identity) const { return xHandleIdentity(*this, file, identity); }
    FileHandle openRead(const std::string& path, const FileIdentity* known = nullptr) const {
        return xOpenRead(*this, path, known);
    }
    FileHandle createNew(const std::string& path) const { return xCreateNew(*this, path); }
    FileHandle createTruncate(const std::string& path, const FileIdentity* expected = nullptr) const {
        return xCreateTruncate(*this, path, expected);
    }
    FileHandle openOverwrite(const std::string& path, const FileIdentity& expected) const {
        return xOpenOverwrite(*this, path, expected);
    }
    bool setSize(FileHandle file, std::uint64_t size) const { return xSetSize(*this, file, size); }
    std::int64_t read(FileHandle file, char* buffer, std::size_t size) const { return xRead(*this, file, buffer, size); }
    bool write(FileHandle file, const char* data, std::size_t size) const { return xWrite(*this, file, data, size); }
    bool close(FileHandle file) const { return xClose(*this, file); }
    bool remove(const std::string& path) const { return xRemove(*this, path); }
    bool rename(const std::string& from, const std::string& to) const { return xRename(*this, from, to); }
    bool replace(const std::string& from, const std::string& to) const { return xReplace(*this, from, to); }
    Exchange exchange(const std::string& a, const std::string& b) const { return xExchange(*this, a, b); }
    bool readOnly(const std::string& path, const FileIdentity* known = nullptr) const {
        return xReadOnly(*this, path, known);
    }
    bool copyPermissions(const std::string& from, const std::string& to, const FileIdentity* fromKnown = nullptr,
                         const FileIdentity* toKnown = nullptr) const {
        return xCopyPermissions(*this, from, to, fromKnown, toKnown);
    }
    bool copyAttributes(const std::string& from, const std::string& to) const { return xCopyAttributes(*this, from, to); }
    bool sync(FileHandle file) const { return xSync(*this, file); }
    bool syncFileSystem(const std::string& path) const { return xSyncFileSystem(*this, path); }
};

// Appends the whole content of a regular file, read through `ops`; false
// when it cannot be opened or a read fails. The bytes are one version of
// the file the name stood for: a file replaced or rewritten while it was
// opened and read (by another thread, say, that reuses a file's old
// version for other text) is read again.
// `identity`, when given, gets that version's identity. `named`, when
// given, is what the name stood for, looked up just before (one look less).
// `undisturbed`, when given, is asked once the bytes are in: true when
// nothing can have written into the open file meanwhile (a run knows when it
// wrote nothing itself), which spares a second look at the open file.
bool readWholeFile(const FileSystemOps& ops, const std::string& path, std::string& bytes,
                   FileIdentity* identity = nullptr, const FileIdentity* named = nullptr,
                   const std::function<bool()>& undisturbed = {});

constexpr std::uint64_t kNoSizeLimit = UINT64_MAX;
enum class ReadResult { read, failed, tooLarge };
// readWholeFile for a file of at most `maxSize` bytes, as the open finds
// its size: a larger one is not read at all (tooLarge, with `identity`, when
// given, that of the version opened), so a sparse file of many gigabytes
// costs no memory.
ReadResult readWholeFileWithin(const FileSystemOps& ops, const std::string& path, std::string& bytes,
                               std::uint64_t maxSize, FileIdentity* identity = nullptr,
                               const FileIdentity* named = nullptr, const std::function<bool()>& undisturbed = {});

// Appends the bytes of `known`, the version the caller learnt the name
// stands for, without a look at the system: true only when the file holds
// exactly known.size bytes (no more are read). The caller must know that
// nothing wrote the file since it learnt the version; otherwise, and when
// this fails, readWholeFile reads it. False, with nothing read, for a
// version larger than `maxSize`.
bool readKnownVersion(const FileSystemOps& ops, const std::string& path, std::string& bytes,
                      const FileIdentity& known, std::uint64_t maxSize = kNoSizeLimit);

// A path in the system's own form as this platform's file system takes it.
std::string nativePath(const std::string& path);

// One name for a file however it is reached: absolute, with links resolved
// (as far as the path exists) and no "." or ".." left; it stays the same when
// the file is replaced by a new one.
std::string canonicalPath(const std::string& path);

// Canonical paths of the many files of a run, each directory resolved once:
// a file that is no link is its directory's canonical path and its name.
// Which names are links, one listing of the directory tells. Safe on
// several threads at once.
class CanonicalPaths {
public:
    std::string of(const std::string& path);

private:
    struct Directory {
        std::string canonical;
        bool listed = false;             // else each name is asked about
        std::vector<std::string> links;  // sorted; few directories hold any
    };
    std::mutex lock_;
    std::unordered_map<std::string, Directory> directories_;
};

// The system's own table.
const FileSystemOps& defaultFileSystemOps();

// A directory opened once and held while a run writes in it. Its table
// reaches each name in the directory (a path that is the directory as
// spelt, then a name) through the handle held, never through a link there,
// whatever is done meanwhile to the path that led to it; other paths go to
// the table below. So a directory swapped for a link after the run looked
// at it is never written through: it is either not held at all (not the
// directory expected) or written in place, where its files are.
// Over a table that is not the system's (a dry run's memory) there is
// nothing to hold: the table below is handed out as it is.
class HeldDirectory {
public:
    // `directory`: "" for the current one, else ending in a separator, as
    // the run spells the paths of its files. `expected`, when given, is the
    // directory's identity as the run first saw it. With `readsFollowLinks`,
    // a link there is followed to be read (a file named on its own), never
    // to be written.
    HeldDirectory(const FileSystemOps& below, const std::string& directory, const DirectoryIdentity* expected,
                  bool readsFollowLinks = false);
    ~HeldDirectory();
    HeldDirectory(const HeldDirectory&) = delete;
    HeldDirectory& operator=(const HeldDirectory&) = delete;

    // False when it could not be opened, or was not the directory expected.
    bool held() const { return held_; }
    const FileSystemOps& ops() const { return ops_; }

    // Keeps other runs from writing in the directory while this one has
    // files there under way (one would take the other's new text, waiting
    // beside its file, for what a run cut short left). Counted: the lock
    // goes with the last unlock. False when another run has it and `wait`
    // is false, or where nothing can be locked but the call failed.
    bool lock(bool wait);
    void unlock();

    // Moves the file `from` (a name in the directory `source` holds) here,
    // under `to` (a name here that must not exist): never across file
    // systems, never over another file. False, with both as they were,
    // when it can't.
    bool moveHere(const HeldDirectory& source, const std::string& from, const std::string& to);
    // Swaps the file `here` (a name in this directory) with `there` (a name
    // in the directory `other` holds), in one step, on one file system.
    Exchange exchangeWith(const HeldDirectory& other, const std::string& here, const std::string& there);

private:
    void* state_ = nullptr;  // the platform's
    bool held_ = false;
    FileSystemOps ops_;
    std::mutex lock_;
    unsigned locks_ = 0;
};

}  // namespace vimbo::platform
